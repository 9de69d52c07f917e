#include "app/text_buffer.h"

namespace {
// wvsprintfA writes at most 1024 characters and the NUL; anything that long cannot fit anyway.
const int kFormatScratch = 1025;
}

bool FormatText(TextBuffer& dest, const char* format, ...) {
  char scratch[kFormatScratch];
  va_list args;
  va_start(args, format);
  int length = wvsprintfA(scratch, format, args);
  va_end(args);
  if (length < 0 || length > kTextSize - 1) {
    dest[0] = 0;
    return false;
  }
  CopyMemory(dest, scratch, length + 1);
  return true;
}

bool CopyTextPart(TextBuffer& dest, const char* source, int length) {
  if (length < 0 || length > kTextSize - 1) {
    dest[0] = 0;
    return false;
  }
  MoveMemory(dest, source, length);
  dest[length] = 0;
  return true;
}

int BoundedLength(const char* text, int bufferSize) {
  for (int i = 0; i < bufferSize; ++i)
    if (text[i] == 0) return i;
  return -1;
}
