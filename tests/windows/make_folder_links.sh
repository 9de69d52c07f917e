#!/bin/sh
# Trees holding a link to a folder outside them, one tree per operation under test, next to the
# folder "outside" that the links point into. (Wine shows a link to a file as a plain file, and
# its DeleteFileA removes the file the link names, so such links cannot be shown here.)
set -eu
root=$1
rm -rf "$root"
mkdir -p "$root/outside/deep"
printf keep >"$root/outside/keep.txt"
printf deep >"$root/outside/deep/k.txt"
for op in copy move delete; do
  mkdir -p "$root/$op/src/inner"
  printf a >"$root/$op/src/a.txt"
  printf b >"$root/$op/src/inner/b.txt"
  ln -s "$root/outside" "$root/$op/src/outlink"
done
