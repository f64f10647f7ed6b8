#include "script/menu_obj.h"

#include <gtest/gtest.h>

#include "script/dispatch_testing.h"
#include "script/fake_reader_frame.h"

namespace lectern {
namespace {

using testing::CallByName;
using testing::FakeReaderFrame;
using testing::Var;

class MenuObjTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link_->frame = &frame_;
    menu_ = CMenuObj::Create(link_);
  }
  void TearDown() override { menu_->Release(); }
  FakeReaderFrame frame_;
  FrameLinkPtr link_ = std::make_shared<FrameLink>();
  CMenuObj* menu_ = nullptr;
};

TEST_F(MenuObjTest, ItemsSeparatorsAndTheChosenCommand) {
  EXPECT_EQ(CallByName(menu_, OLESTR("append"), {Var::Str("First"), Var::I4(1)}).value->lVal, 1);
  EXPECT_EQ(CallByName(menu_, OLESTR("append"), {Var::Str("-"), Var::I4(99)}).value->lVal, 2);
  EXPECT_EQ(CallByName(menu_, OLESTR("append"), {Var::Str("Second \xC3\xA9"), Var::Str("2")}).value->lVal, 3);
  EXPECT_EQ(CallByName(menu_, OLESTR("append"), {Var::Str("--"), Var::I4(3)}).value->lVal, 4);  // only "-" separates
  ASSERT_EQ(menu_->items().size(), 4u);
  EXPECT_EQ(menu_->items()[1].kind, MenuItem::Kind::kSeparator);
  EXPECT_EQ(menu_->items()[2].text, "Second \xC3\xA9");
  EXPECT_EQ(menu_->items()[2].command, 2);

  frame_.chosen_command = 2;
  auto chosen = CallByName(menu_, OLESTR("trackPopup"), {Var::I4(10), Var::I4(20)});
  EXPECT_EQ(chosen.hr, S_OK);
  EXPECT_EQ(chosen.value->lVal, 2);
  EXPECT_EQ(frame_.calls.back(), "popup 10,20");
  EXPECT_EQ(frame_.shown_items.size(), 4u);
  // Dismissed: 0. The items stay for the next time.
  frame_.chosen_command = 0;
  EXPECT_EQ(CallByName(menu_, OLESTR("trackPopup"), {Var::I4(0), Var::I4(0)}).value->lVal, 0);
  EXPECT_EQ(frame_.shown_items.size(), 4u);
}

TEST_F(MenuObjTest, EmptyTextAddsNothing) {
  EXPECT_EQ(CallByName(menu_, OLESTR("append"), {Var::Str(""), Var::I4(1)}).value->lVal, 0);
  EXPECT_EQ(CallByName(menu_, OLESTR("append"), {Var::Null(), Var::I4(1)}).value->lVal, 0);
  EXPECT_TRUE(menu_->items().empty());
  EXPECT_EQ(CallByName(menu_, OLESTR("append"), {Var::Str("x")}).hr, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(CallByName(menu_, OLESTR("append"), {Var::Str("x"), Var::Str("y")}).hr, DISP_E_TYPEMISMATCH);
}

TEST_F(MenuObjTest, WithoutWindowNothingIsShown) {
  CallByName(menu_, OLESTR("append"), {Var::Str("a"), Var::I4(1)});
  frame_.chosen_command = 1;
  frame_.has_window = false;
  EXPECT_EQ(CallByName(menu_, OLESTR("trackPopup"), {Var::I4(0), Var::I4(0)}).value->lVal, 0);
  frame_.has_window = true;
  link_->frame = nullptr;  // the window went away
  EXPECT_EQ(CallByName(menu_, OLESTR("trackPopup"), {Var::I4(0), Var::I4(0)}).value->lVal, 0);
  EXPECT_TRUE(frame_.calls.empty());
}

}  // namespace
}  // namespace lectern
