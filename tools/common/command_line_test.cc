#include "common/command_line.h"

#include <gtest/gtest.h>

namespace lectern {
namespace {

TEST(ArgumentReaderTest, OptionsTakeTheirValueEitherWay) {
  const char* argv[] = {"tool", "folder", "--level", "fast", "--raw-ext=.a,.b", "-o", "out", "--", "--odd"};
  ArgumentReader args(9, const_cast<char**>(argv));
  EXPECT_FALSE(args.TakeOption());
  EXPECT_EQ(args.TakeOperand(), "folder");
  EXPECT_EQ(args.TakeOption(), "--level");
  EXPECT_EQ(args.TakeValue(), "fast");
  EXPECT_EQ(args.TakeOption(), "--raw-ext");
  EXPECT_EQ(args.TakeValue(), ".a,.b");
  EXPECT_EQ(args.TakeOption(), "-o");
  EXPECT_EQ(args.TakeValue(), "out");
  // After "--" everything is an operand, even what looks like an option.
  EXPECT_FALSE(args.TakeOption());
  EXPECT_FALSE(args.done());
  EXPECT_FALSE(args.TakeOption());
  EXPECT_EQ(args.TakeOperand(), "--odd");
  EXPECT_TRUE(args.done());
  EXPECT_FALSE(args.TakeValue());
}

TEST(ArgumentReaderTest, AnEmptyInlineValueIsAValue) {
  const char* argv[] = {"tool", "--raw-ext=", "-"};
  ArgumentReader args(3, const_cast<char**>(argv));
  EXPECT_EQ(args.TakeOption(), "--raw-ext");
  EXPECT_EQ(args.TakeValue(), "");
  EXPECT_FALSE(args.TakeOption());  // a lone "-" is an operand
  EXPECT_EQ(args.TakeOperand(), "-");
}

TEST(PrintableNameTest, ControlBytesAreEscapedUtf8Kept) {
  EXPECT_EQ(PrintableName("pages/\xC3\xBC" "berblick.html"), "pages/\xC3\xBC" "berblick.html");
  EXPECT_EQ(PrintableName("evil\x1B[2J\n.htm"), "evil\\x1b[2J\\x0a.htm");
  EXPECT_EQ(PrintableName("a\\b\x7F"), "a\\\\b\\x7f");
}

}  // namespace
TEST(ByteCountTest, PlainAndSuffixedCountsAndNothingElse) {
  EXPECT_EQ(ParseByteCount("0"), 0u);
  EXPECT_EQ(ParseByteCount("4096"), 4096u);
  EXPECT_EQ(ParseByteCount("64k"), 65536u);
  EXPECT_EQ(ParseByteCount("512M"), uint64_t(512) << 20);
  EXPECT_EQ(ParseByteCount("4G"), uint64_t(4) << 30);
  EXPECT_EQ(ParseByteCount("18446744073709551615"), UINT64_MAX);
  for (const char* bad : {"", "G", "-1", "1.5G", "12 ", "0x10", "18446744073709551616", "17179869184G", "4T"})
    EXPECT_EQ(ParseByteCount(bad), std::nullopt) << bad;
}

}  // namespace lectern
