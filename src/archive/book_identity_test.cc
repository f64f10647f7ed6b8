#include "archive/book_identity.h"

#include <gtest/gtest.h>

namespace lectern {
namespace {

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

}  // namespace
}  // namespace lectern
