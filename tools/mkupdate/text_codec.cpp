#include "tools/mkupdate/text_codec.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace {

#ifdef _WIN32

// One code point to CP932, without best-fit substitutes; false when it has no form.
bool EncodeOne(char32_t c, std::string* out) {
  wchar_t units[2];
  int count = 1;
  if (c >= 0x10000) {
    units[0] = (wchar_t)(0xD800 + ((c - 0x10000) >> 10));
    units[1] = (wchar_t)(0xDC00 + ((c - 0x10000) & 0x3FF));
    count = 2;
  } else {
    units[0] = (wchar_t)c;
  }
  char bytes[8];
  BOOL usedDefault = FALSE;
  int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, units, count, bytes, sizeof bytes,
                              nullptr, &usedDefault);
  if (n <= 0 || usedDefault) return false;
  out->assign(bytes, (size_t)n);
  return true;
}

bool DecodeBytes(const std::string& cp932, std::string* utf8) {
  if (cp932.empty()) {
    utf8->clear();
    return true;
  }
  int wide = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cp932.data(), (int)cp932.size(),
                                 nullptr, 0);
  if (wide <= 0) return false;
  std::wstring w((size_t)wide, L'\0');
  MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cp932.data(), (int)cp932.size(), &w[0], wide);
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  utf8->assign((size_t)n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, &(*utf8)[0], n, nullptr, nullptr);
  return true;
}

#else

bool Convert(const char* to, const char* from, const std::string& in, std::string* out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == (iconv_t)-1) return false;
  out->clear();
  char* inPtr = const_cast<char*>(in.data());
  size_t inLeft = in.size();
  char buffer[256];
  bool ok = true;
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    out->append(buffer, (size_t)(outPtr - buffer));
    if (r == (size_t)-1 && outLeft == sizeof buffer) {  // no progress: a real error
      ok = false;
      break;
    }
  }
  if (ok) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == (size_t)-1) ok = false;
    out->append(buffer, (size_t)(outPtr - buffer));
  }
  iconv_close(cd);
  return ok;
}

bool EncodeOne(char32_t c, std::string* out) {
  return Convert("CP932", "UTF-8", EncodeUtf8(c), out) && !out->empty();
}

bool DecodeBytes(const std::string& cp932, std::string* utf8) {
  return Convert("UTF-8", "CP932", cp932, utf8);
}

#endif

}  // namespace

std::string CodePointName(char32_t codePoint) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04X", (unsigned)codePoint);
  return buffer;
}

std::string EncodeUtf8(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += (char)c;
  } else if (c < 0x800) {
    out += (char)(0xC0 | (c >> 6));
    out += (char)(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += (char)(0xE0 | (c >> 12));
    out += (char)(0x80 | ((c >> 6) & 0x3F));
    out += (char)(0x80 | (c & 0x3F));
  } else {
    out += (char)(0xF0 | (c >> 18));
    out += (char)(0x80 | ((c >> 12) & 0x3F));
    out += (char)(0x80 | ((c >> 6) & 0x3F));
    out += (char)(0x80 | (c & 0x3F));
  }
  return out;
}

bool DecodeUtf8(const std::string& utf8, std::u32string* out, size_t* badOffset) {
  out->clear();
  const unsigned char* s = (const unsigned char*)utf8.data();
  size_t n = utf8.size();
  for (size_t i = 0; i < n;) {
    unsigned char b = s[i];
    int extra;
    char32_t c;
    char32_t minimum;
    if (b < 0x80) {
      extra = 0, c = b, minimum = 0;
    } else if ((b & 0xE0) == 0xC0) {
      extra = 1, c = b & 0x1F, minimum = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2, c = b & 0x0F, minimum = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3, c = b & 0x07, minimum = 0x10000;
    } else {
      *badOffset = i;
      return false;
    }
    if (i + (size_t)extra >= n) {
      *badOffset = i;
      return false;
    }
    for (int k = 1; k <= extra; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) {
        *badOffset = i;
        return false;
      }
      c = (c << 6) | (s[i + k] & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      *badOffset = i;
      return false;
    }
    out->push_back(c);
    i += 1 + extra;
  }
  return true;
}

bool Utf8ToCp932(const std::string& utf8, std::string* cp932, std::string* problem) {
  std::u32string codePoints;
  size_t bad = 0;
  if (!DecodeUtf8(utf8, &codePoints, &bad)) {
    *problem = "is not valid UTF-8 (byte " + std::to_string(bad) + ")";
    return false;
  }
  cp932->clear();
  for (char32_t c : codePoints) {
    std::string bytes, back;
    if (c == 0) {
      *problem = "holds a NUL character (U+0000)";
      return false;
    }
    if (!EncodeOne(c, &bytes) || !DecodeBytes(bytes, &back) || back != EncodeUtf8(c)) {
      *problem = CodePointName(c) + " '" + EncodeUtf8(c) + "' has no CP932 form";
      return false;
    }
    *cp932 += bytes;
  }
  return true;
}

bool Cp932ToUtf8(const std::string& cp932, std::string* utf8, std::string* problem) {
  if (!DecodeBytes(cp932, utf8)) {
    *problem = "is not valid CP932";
    return false;
  }
  return true;
}
