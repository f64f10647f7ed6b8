#include "shell/reading_position.h"

#include <gtest/gtest.h>

#include "platform/posix/registry_store.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

TEST(ReadingPositionTest, TextFormRoundTripsAndRefusesGarbage) {
  ReadingPosition place{"file://c:/datastore/a,b.htm", 0, 1250};
  EXPECT_EQ(FormatReadingPosition(place), "0,1250,file://c:/datastore/a,b.htm");
  EXPECT_EQ(ParseReadingPosition(FormatReadingPosition(place)), place) << "commas in the URL stay";
  for (std::string_view bad : {"", "1,2", "1,2,", "x,2,u", "1,-2,u", "1,99999999999,u", ",2,u"})
    EXPECT_EQ(ParseReadingPosition(bad), std::nullopt) << bad;
}

TEST(ReadingPositionTest, KeptPerBookInTheRegistry) {
  testing::TempDir dir;
  UseRegistryStore({dir.Join("registry.db"), 500});
  ReadingPosition last{"file://c:/datastore/pages/two.htm", 0, 800};
  ASSERT_TRUE(SaveReadingPosition("00112233445566778899AABBCCDDEEFF", kLastPositionValue, last));
  ASSERT_TRUE(SaveReadingPosition("00112233445566778899AABBCCDDEEFF", BookmarkPositionValue(last.url),
                                  {last.url, 0, 300}));
  EXPECT_EQ(LoadReadingPosition("00112233445566778899AABBCCDDEEFF", kLastPositionValue), last);
  EXPECT_EQ(LoadReadingPosition("00112233445566778899AABBCCDDEEFF", BookmarkPositionValue(last.url))->scroll_y, 300);
  EXPECT_EQ(LoadReadingPosition("FFEEDDCCBBAA99887766554433221100", kLastPositionValue), std::nullopt)
      << "another book has a place of its own";
  EXPECT_EQ(LoadReadingPosition("..\\..\\x", kLastPositionValue), std::nullopt);
  ASSERT_TRUE(SaveReadingPosition("..\\..\\x", kLastPositionValue, last)) << "an odd identity gets a hashed key";
  EXPECT_EQ(LoadReadingPosition("..\\..\\x", kLastPositionValue), last);
  UseRegistryStore({""});
}

}  // namespace
}  // namespace lectern
