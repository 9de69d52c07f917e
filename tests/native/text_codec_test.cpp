// UTF-8 to CP932 and back: the bytes the updater will hand to the ANSI functions.
#include <gtest/gtest.h>

#include "tools/mkupdate/text_codec.h"

namespace {

struct Conversion {
  const char* utf8;
  const char* cp932;
};

void PrintTo(const Conversion& x, std::ostream* os) { *os << x.utf8; }

class Cp932Conversion : public ::testing::TestWithParam<Conversion> {};

TEST_P(Cp932Conversion, GivesTheShiftJisBytesAndComesBack) {
  std::string bytes, back, problem;
  ASSERT_TRUE(Utf8ToCp932(GetParam().utf8, &bytes, &problem)) << problem;
  EXPECT_EQ(bytes, GetParam().cp932);
  ASSERT_TRUE(Cp932ToUtf8(bytes, &back, &problem)) << problem;
  EXPECT_EQ(back, GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Cp932Conversion,
    ::testing::Values(Conversion{"", ""}, Conversion{"Game 1.02", "Game 1.02"},
                      Conversion{"data\\a.txt", "data\\a.txt"},
                      // second bytes of 0x5C: a byte-wise backslash search would split them
                      Conversion{"ソ", "\x83\x5C"}, Conversion{"表", "\x95\x5C"},
                      Conversion{"ソフト\\表.txt", "\x83\x5C\x83\x74\x83\x67\\\x95\x5C.txt"},
                      Conversion{"アップデート",
                                 "\x83\x41\x83\x62\x83\x76\x83\x66\x81\x5B\x83\x67"},
                      Conversion{"ｱｲ", "\xB1\xB2"},         // half-width katakana, one byte
                      Conversion{"①", "\x87\x40"},          // NEC special row
                      Conversion{"～", "\x81\x60"},          // FULLWIDTH TILDE, Windows' 0x8160
                      Conversion{"髙", "\xFB\xFC"}));        // IBM extension

struct Refusal {
  const char* utf8;
  const char* problem;
};

void PrintTo(const Refusal& x, std::ostream* os) { *os << x.utf8; }

class Cp932Refusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(Cp932Refusal, NamesTheCharacter) {
  std::string bytes, problem;
  EXPECT_FALSE(Utf8ToCp932(GetParam().utf8, &bytes, &problem));
  EXPECT_EQ(problem, GetParam().problem);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Cp932Refusal,
    ::testing::Values(
        Refusal{"ok 😀", "U+1F600 '😀' has no CP932 form"},
        Refusal{"한국", "U+D55C '한' has no CP932 form"},
        Refusal{"café", "U+00E9 'é' has no CP932 form"},
        // iconv maps these to other characters (0x5C, U+FF5E); Windows does not, and a yen sign
        // must never become a path separator
        Refusal{"¥100", "U+00A5 '¥' has no CP932 form"},
        Refusal{"波〜", "U+301C '〜' has no CP932 form"},
        Refusal{"bad \xFF byte", "is not valid UTF-8 (byte 4)"},
        Refusal{"cut \xE3\x83", "is not valid UTF-8 (byte 4)"},
        Refusal{"overlong \xC0\xAF", "is not valid UTF-8 (byte 9)"},
        Refusal{"surrogate \xED\xA0\x80", "is not valid UTF-8 (byte 10)"}));

TEST(Cp932Decoding, RefusesBytesThatAreNotCp932) {
  std::string utf8, problem;
  EXPECT_FALSE(Cp932ToUtf8("\x83", &utf8, &problem));  // a lead byte with no trail byte
  EXPECT_EQ(problem, "is not valid CP932");
}

TEST(Cp932Encoding, RefusesAnEmbeddedNul) {
  std::string bytes, problem;
  EXPECT_FALSE(Utf8ToCp932(std::string("a\0b", 3), &bytes, &problem));
  EXPECT_EQ(problem, "holds a NUL character (U+0000)");
}

}  // namespace
