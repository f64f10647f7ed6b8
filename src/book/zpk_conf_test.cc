#include "book/zpk_conf.h"

#include <gtest/gtest.h>

namespace lectern {
namespace {

TEST(ZpkConfTest, TokensPairUpInOrder) {
  ZPKConf conf;
  EXPECT_EQ(conf.Load("title\x01My Book\x01home\x01index.htm\x01"), 0);
  EXPECT_EQ(conf.map().size(), 2u);
  std::string value = "stale";
  EXPECT_EQ(conf.Get("home", value), 0);
  EXPECT_EQ(value, "index.htm");
  EXPECT_EQ(conf.Get("HOME", value), -1) << "keys are case-sensitive";
  EXPECT_EQ(value, "");
  EXPECT_EQ(conf.Get("", value), -1);
}

TEST(ZpkConfTest, SplitDropsEmptyTokensAndShiftsThePairing) {
  ZPKConf conf;
  // An empty value vanishes, so the next key becomes this key's value.
  EXPECT_EQ(conf.Load("a\x01\x01" "b\x01" "c\x01"), 0);
  std::string value;
  EXPECT_EQ(conf.Get("a", value), 0);
  EXPECT_EQ(value, "b");
  EXPECT_EQ(conf.Get("c", value), 0) << "a lone last key";
  EXPECT_EQ(value, "");
  EXPECT_EQ(conf.Load("k\x01one\x01k\x01two"), 0);
  EXPECT_EQ(conf.Get("k", value), 0);
  EXPECT_EQ(value, "two") << "a later duplicate wins";
}

TEST(ZpkConfTest, EmptyTextFailsAndEmptiesTheMap) {
  ZPKConf conf;
  ASSERT_EQ(conf.Load("a\x01" "b"), 0);
  EXPECT_EQ(conf.Load(""), -1);
  EXPECT_TRUE(conf.map().empty());
  EXPECT_EQ(conf.Load("\x01\x01\x01"), -1);
}

TEST(ZpkConfTest, EncodingRoundTripsAndRefusesWhatWouldShift) {
  std::map<std::string, std::string> settings = {{"title", "T"}, {"zoom", "100"}};
  std::string text;
  ASSERT_TRUE(EncodeSettingsText(settings, text));
  EXPECT_EQ(text, "title\x01T\x01zoom\x01" "100\x01");
  ZPKConf conf;
  ASSERT_EQ(conf.Load(text), 0);
  EXPECT_EQ(conf.map(), settings);

  EXPECT_FALSE(EncodeSettingsText({{"empty", ""}}, text));
  EXPECT_FALSE(EncodeSettingsText({{"", "v"}}, text));
  EXPECT_FALSE(EncodeSettingsText({{"k", "a\x01" "b"}}, text));
}

}  // namespace
}  // namespace lectern
