// The one way the updater writes its fixed 260-byte text and path buffers. Nothing is ever
// written past a buffer: a result that would not fit is refused and leaves the buffer empty.
#ifndef TAVREL_TEXT_BUFFER_H
#define TAVREL_TEXT_BUFFER_H

#include <windows.h>

const int kTextSize = MAX_PATH;  // 259 bytes of ANSI text and the terminating NUL
typedef char TextBuffer[kTextSize];

// wsprintfA-formats into dest. False (dest left empty) when the text needs more than 259 bytes.
// dest may also appear among the arguments.
bool FormatText(TextBuffer& dest, const char* format, ...);

// Copies the first length bytes of source, which need no NUL among them, and terminates them.
// False (dest left empty) when length exceeds 259.
bool CopyTextPart(TextBuffer& dest, const char* source, int length);

// Length of text that lies in a buffer of bufferSize bytes, or -1 when it holds no NUL there.
int BoundedLength(const char* text, int bufferSize);

#endif
