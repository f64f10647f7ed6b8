#include "platform/com.h"

#include <gtest/gtest.h>

namespace lectern {
namespace {

TEST(ComTest, Utf8AndUtf16RoundTrip) {
  std::string text = "plain \xC3\xBC \xE4\xB8\xAD \xF0\x9F\x93\x96";
  WideString wide = Utf8ToWide(text);
  EXPECT_EQ(wide, OLESTR("plain \u00FC \u4E2D \U0001F4D6"));
  EXPECT_EQ(WideToUtf8(wide), text);
}

TEST(ComTest, IllFormedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToWide("a\xC3"), OLESTR("a\uFFFD")) << "cut short at the end";
  EXPECT_EQ(Utf8ToWide("\xC0\xAF"), OLESTR("\uFFFD\uFFFD")) << "overlong";
  EXPECT_EQ(Utf8ToWide("\xED\xA0\x80x"), OLESTR("\uFFFD\uFFFD\uFFFDx")) << "encoded surrogate";
  EXPECT_EQ(Utf8ToWide("\xFF"), OLESTR("\uFFFD"));
  EXPECT_EQ(WideToUtf8(WideString(1, OLECHAR(0xD800)) + OLESTR("z")), "\xEF\xBF\xBDz") << "lone surrogate";
}

TEST(ComTest, BstrCarriesItsLength) {
  BSTR s = AllocBstrFromUtf8(std::string("a\0b", 3));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(s[3], 0);
  EXPECT_EQ(BstrView(s), WideStringView(OLESTR("a\0b"), 3));
  SysFreeString(s);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_TRUE(BstrView(nullptr).empty());
  SysFreeString(nullptr);
}

}  // namespace
}  // namespace lectern
