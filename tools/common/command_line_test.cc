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

TEST(IdentityHexTest, RoundTripsAndRefusesWhatIsNotSixteenBytes) {
  BookIdentity id{};
  ASSERT_TRUE(ParseIdentityHex("00112233445566778899AABBCCDDEEFF", id));
  EXPECT_EQ(id[0], 0x00);
  EXPECT_EQ(id[1], 0x11);
  EXPECT_EQ(id[15], 0xFF);
  EXPECT_EQ(IdentityHex(id), "00112233445566778899aabbccddeeff");

  BookIdentity guid{};
  ASSERT_TRUE(ParseIdentityHex("{00112233-4455-6677-8899-aabbccddeeff}", guid));
  EXPECT_EQ(guid, id);

  BookIdentity untouched = id;
  for (const char* bad : {"", "0011", "00112233445566778899aabbccddeeff00", "00112233445566778899aabbccddeefg",
                          "0x112233445566778899aabbccddeeff"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ParseIdentityHex(bad, untouched));
    EXPECT_EQ(untouched, id);
  }
}

TEST(PrintableNameTest, ControlBytesAreEscapedUtf8Kept) {
  EXPECT_EQ(PrintableName("pages/\xC3\xBC" "berblick.html"), "pages/\xC3\xBC" "berblick.html");
  EXPECT_EQ(PrintableName("evil\x1B[2J\n.htm"), "evil\\x1b[2J\\x0a.htm");
  EXPECT_EQ(PrintableName("a\\b\x7F"), "a\\\\b\\x7f");
}

}  // namespace
}  // namespace lectern
