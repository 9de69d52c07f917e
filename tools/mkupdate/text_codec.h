// UTF-8 <-> code page 932 (Shift-JIS, the updater's ANSI code page). A publisher writes texts and
// file names in UTF-8; the package carries them as CP932 bytes, which the updater hands to the
// ANSI functions unchanged.
#ifndef TAVREL_MKUPDATE_TEXT_CODEC_H
#define TAVREL_MKUPDATE_TEXT_CODEC_H

#include <string>

// "U+1F600" for a code point.
std::string CodePointName(char32_t codePoint);

// Converts UTF-8 text to CP932. A character counts as convertible only when it comes back
// unchanged from CP932 (so "¥" is refused rather than turned into a backslash, and U+301C
// rather than turned into U+FF5E). On failure returns false and sets problem to a sentence
// such as "U+1F600 '😀' has no CP932 form" or "is not valid UTF-8 (byte 3)".
bool Utf8ToCp932(const std::string& utf8, std::string* cp932, std::string* problem);

// Converts CP932 bytes to UTF-8; false with problem set when the bytes are not valid CP932.
bool Cp932ToUtf8(const std::string& cp932, std::string* utf8, std::string* problem);

// Splits UTF-8 into code points; false at the first malformed sequence (its byte offset in
// badOffset).
bool DecodeUtf8(const std::string& utf8, std::u32string* out, size_t* badOffset);
std::string EncodeUtf8(char32_t codePoint);

#endif
