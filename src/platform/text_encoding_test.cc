#include "platform/text_encoding.h"

#include <gtest/gtest.h>

namespace lectern {
namespace {

TEST(TextEncodingTest, ConvertsAndMarksWhatTheCodePageLacks) {
  std::string out;
  ASSERT_TRUE(ConvertToUtf8("caf\xE9 \x80", "WINDOWS-1252", out));
  EXPECT_EQ(out, "caf\xC3\xA9 \xE2\x82\xAC");
  // 0x81 is undefined in windows-1252, and a lead byte cut off ends the CP932 text. Windows' own
  // tables carry 0x81 through as U+0081 and mark the cut-off with the code page's default
  // character; elsewhere both become U+FFFD. Either way the defined text arrives and the result is
  // well-formed.
#ifdef _WIN32
  constexpr const char* kUndefined = "\xC2\x81";
  constexpr const char* kCutOff = "\xE3\x83\xBB";
#else
  constexpr const char* kUndefined = "\xEF\xBF\xBD";
  constexpr const char* kCutOff = "\xEF\xBF\xBD";
#endif
  ASSERT_TRUE(ConvertToUtf8("a\x81" "b", "WINDOWS-1252", out));
  EXPECT_EQ(out, std::string("a") + kUndefined + "b");
  ASSERT_TRUE(ConvertToUtf8("\x93\xFA\x96\x7B\x82", "CP932", out));  // 日本 then the cut-off lead byte
  EXPECT_EQ(out, std::string("\xE6\x97\xA5\xE6\x9C\xAC") + kCutOff);
  std::string big(100000, '\xE9');
  ASSERT_TRUE(ConvertToUtf8(big, "WINDOWS-1252", out));
  EXPECT_EQ(out.size(), 200000u);
  EXPECT_FALSE(ConvertToUtf8("x", "NO-SUCH-CHARSET", out));
  EXPECT_TRUE(out.empty());
}

TEST(TextEncodingTest, UnicodeFormsAreDecodedHere) {
  std::string out;
  // "aé€" then U+1F600, little- and big-endian, with a lone surrogate and a cut-off last byte.
  ASSERT_TRUE(ConvertToUtf8(std::string("a\0\xE9\0\xAC\x20\x3D\xD8\x00\xDE\x00\xD8z", 13), "UTF-16LE", out));
  EXPECT_EQ(out, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBD\xEF\xBF\xBD");
  ASSERT_TRUE(ConvertToUtf8(std::string("\0a\0\xE9", 4), "utf-16be", out));
  EXPECT_EQ(out, "a\xC3\xA9");
  ASSERT_TRUE(ConvertToUtf8(std::string("\x00\xF6\x01\x00\x00\x00\x11\x00", 8), "UTF-32LE", out));
  EXPECT_EQ(out, "\xF0\x9F\x98\x80\xEF\xBF\xBD");  // past U+10FFFF is no character
  // UTF-8 passes when well-formed and is repaired when not.
  ASSERT_TRUE(ConvertToUtf8("caf\xC3\xA9", "UTF-8", out));
  EXPECT_EQ(out, "caf\xC3\xA9");
  ASSERT_TRUE(ConvertToUtf8("caf\xE9", "utf8", out));
  EXPECT_EQ(out, "caf\xEF\xBF\xBD");
}

TEST(TextEncodingTest, TheUsualEightBitAndEastAsianNamesAreKnown) {
  std::string out;
  ASSERT_TRUE(ConvertToUtf8("\xA3", "ISO-8859-15", out));
  EXPECT_EQ(out, "\xC2\xA3");
  ASSERT_TRUE(ConvertToUtf8("\xE1", "iso-8859-2", out));
  EXPECT_EQ(out, "\xC3\xA1");
  ASSERT_TRUE(ConvertToUtf8("\x83\x65\x83\x4C\x83\x58\x83\x67", "Shift_JIS", out));
  EXPECT_EQ(out, "\xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9\xE3\x83\x88");  // テキスト
  ASSERT_TRUE(ConvertToUtf8("\xD6\xD0\xCE\xC4", "GBK", out));
  EXPECT_EQ(out, "\xE4\xB8\xAD\xE6\x96\x87");  // 中文
  EXPECT_FALSE(ConvertToUtf8("x", "", out));
}

TEST(TextEncodingTest, Utf8Validity) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("plain \xC3\xBC \xE2\x82\xAC \xF0\x9F\x98\x80"));
  for (const char* bad : {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE9t\xE9", "\x80"})
    EXPECT_FALSE(IsValidUtf8(bad)) << bad;
}

}  // namespace
}  // namespace lectern
