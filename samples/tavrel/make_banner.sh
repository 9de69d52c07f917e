#!/usr/bin/env bash
# Draws banner.png (320 x 240), the sample update's banner, with ImageMagick's convert and the
# IPA Gothic font (both from scripts/setup). The PNG is committed; run this only to redraw it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
font=/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf
[ -f "$font" ] || { echo "make_banner: $font missing: run scripts/setup" >&2; exit 1; }

convert -size 320x240 gradient:'#0b2a6b-#8ccfff' \
  `# the sun and its glow` \
  -fill '#fff6c8a0' -draw 'circle 262,104 262,138' \
  -fill '#fffbe6' -draw 'circle 262,104 262,124' \
  `# clouds` \
  -fill '#ffffffd8' \
  -draw 'ellipse 62,108 38,12 0,360' -draw 'ellipse 88,100 24,14 0,360' -draw 'ellipse 40,102 20,10 0,360' \
  -draw 'ellipse 206,136 30,9 0,360' -draw 'ellipse 224,130 18,10 0,360' \
  `# far and near mountains` \
  -fill '#4f77b8' -draw 'polygon 0,190 40,150 78,172 128,128 176,168 214,140 262,176 300,150 320,162 320,240 0,240' \
  -fill '#23406f' -draw 'polygon 0,206 56,176 102,196 150,170 206,200 250,182 320,204 320,240 0,240' \
  `# a tower on the near ridge` \
  -fill '#142a4d' -draw 'rectangle 146,132 160,176' -draw 'polygon 142,134 153,112 164,134' \
  -draw 'rectangle 138,150 146,178' -draw 'rectangle 160,150 168,178' \
  -fill '#ffd86b' -draw 'rectangle 151,140 155,147' \
  `# the ground` \
  -fill '#0f1f3a' -draw 'rectangle 0,222 320,240' \
  `# the title` \
  -font "$font" -gravity north \
  -pointsize 34 -stroke '#0a1a3a' -strokewidth 5 -fill none -annotate +0+14 '蒼穹のタヴレル' \
  -stroke none -fill '#ffffff' -annotate +0+14 '蒼穹のタヴレル' \
  -pointsize 13 -stroke '#0a1a3a' -strokewidth 3 -fill none -annotate +0+60 'TAVREL  ―  Ver.1.1 アップデート' \
  -stroke none -fill '#ffe9a8' -annotate +0+60 'TAVREL  ―  Ver.1.1 アップデート' \
  -gravity south -pointsize 11 -fill '#a9c3ea' -annotate +0+4 '© 雲山ソフト (サンプル)' \
  -alpha off -depth 8 "PNG24:$here/banner.png"
echo "make_banner: wrote $here/banner.png"
