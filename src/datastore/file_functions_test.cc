#include "datastore/file_functions.h"

#include <gtest/gtest.h>

#include <string>

namespace lectern {
namespace {

TEST(FindNameTest, CutsToTheFieldWithoutSplittingCharacters) {
  WIN32_FIND_DATAA narrow;
  SetFindName(narrow, "short.htm");
  EXPECT_STREQ(narrow.cFileName, "short.htm");

  std::string long_name(258, 'a');
  long_name += "\xc3\xa9\xc3\xa9";  // two 2-byte characters straddling the limit of 259
  SetFindName(narrow, long_name);
  EXPECT_EQ(std::string(narrow.cFileName), std::string(258, 'a')) << "the split character is dropped whole";

  WIN32_FIND_DATAW wide;
  WideString long_wide(258, OLESTR('a'));
  long_wide += OLESTR("\U0001F600");  // a surrogate pair at 258..259
  SetFindName(wide, long_wide);
  EXPECT_EQ(WideString(wide.cFileName), WideString(258, OLESTR('a')));
  SetFindName(wide, WideString(1000, OLESTR('b')));
  EXPECT_EQ(WideString(wide.cFileName), WideString(259, OLESTR('b')));
}

TEST(FileTimeTest, CountsFrom1601) {
  FILETIME epoch = FileTimeFromUnix(0, 0);
  uint64_t ticks = uint64_t(epoch.dwHighDateTime) << 32 | epoch.dwLowDateTime;
  EXPECT_EQ(ticks, 116444736000000000ull);
  FILETIME now = CurrentFileTime();
  EXPECT_GT(uint64_t(now.dwHighDateTime) << 32 | now.dwLowDateTime, ticks);
}

}  // namespace
}  // namespace lectern
