#include "panes/case_fold.h"

#include <gtest/gtest.h>

namespace lectern {
namespace {

TEST(CaseFoldTest, FoldsLatinGreekCyrillicAndMore) {
  EXPECT_EQ(FoldCodePoint(U'A'), U'a');
  EXPECT_EQ(FoldCodePoint(U'z'), U'z');
  EXPECT_EQ(FoldCodePoint(U'\u00C9'), U'\u00E9');   // É
  EXPECT_EQ(FoldCodePoint(U'\u0178'), U'\u00FF');   // Ÿ
  EXPECT_EQ(FoldCodePoint(U'\u1E9E'), U'\u00DF');   // capital sharp s, simple folding
  EXPECT_EQ(FoldCodePoint(U'\u03A3'), U'\u03C3');   // Σ
  EXPECT_EQ(FoldCodePoint(U'\u03C2'), U'\u03C3');   // final sigma folds with sigma
  EXPECT_EQ(FoldCodePoint(U'\u0416'), U'\u0436');   // Ж
  EXPECT_EQ(FoldCodePoint(U'\u0401'), U'\u0451');   // Ё
  EXPECT_EQ(FoldCodePoint(U'\u0531'), U'\u0561');   // Armenian
  EXPECT_EQ(FoldCodePoint(U'\u212A'), U'k');        // Kelvin sign
  EXPECT_EQ(FoldCodePoint(U'\U00010400'), U'\U00010428');  // Deseret, beyond the BMP
  EXPECT_EQ(FoldCodePoint(U'\u4E2D'), U'\u4E2D');   // no case
  EXPECT_EQ(FoldCodePoint(0x110000), char32_t(0x110000));
}

TEST(CaseFoldTest, FoldsUtf8TextOfEveryLength) {
  EXPECT_EQ(FoldUtf8("HELLO, World! 0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`@"),
            "hello, world! 0123456789 abcdefghijklmnopqrstuvwxyz[\\]^_`@");
  EXPECT_EQ(FoldUtf8("\xD0\x9C\xD0\x9E\xD0\xA1\xD0\x9A\xD0\x92\xD0\x90"), "\xD0\xBC\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0");
  EXPECT_EQ(FoldUtf8("\xCE\x91\xCE\x98\xCE\x97\xCE\x9D\xCE\x91"), FoldUtf8("\xCE\xB1\xCE\xB8\xCE\xB7\xCE\xBD\xCE\xB1"));
  // Folding may grow a character (U+023E -> U+2C66) or shrink one (U+212A -> k).
  EXPECT_EQ(FoldUtf8("\xC8\xBE"), "\xE2\xB1\xA6");
  EXPECT_EQ(FoldUtf8("\xE2\x84\xAA"), "k");
  std::string many(1000, '\0');
  for (size_t i = 0; i < many.size(); i += 2) many.replace(i, 2, "\xC8\xBE");
  EXPECT_EQ(FoldUtf8(many).size(), 1500u);
}

TEST(CaseFoldTest, KeepsIllFormedBytesAsTheyAre) {
  // windows-1252 É, a lone continuation byte, an overlong '/', a surrogate, a cut-off sequence.
  std::string bad = "A\xC9Z\x80\xC0\xAF\xED\xA0\x80\xE2\x84";
  EXPECT_EQ(FoldUtf8(bad), "a\xC9z\x80\xC0\xAF\xED\xA0\x80\xE2\x84");
  std::string zeros("A\0B", 3);
  EXPECT_EQ(FoldUtf8(zeros), std::string("a\0b", 3));
}

TEST(CaseFoldTest, EqualsFoldedComparesWholeTexts) {
  EXPECT_TRUE(EqualsFolded("File://C:/DataStore/A.htm", "file://c:/datastore/a.HTM"));
  EXPECT_TRUE(EqualsFolded("\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9"));
  EXPECT_FALSE(EqualsFolded("a", "ab"));
}

}  // namespace
}  // namespace lectern
