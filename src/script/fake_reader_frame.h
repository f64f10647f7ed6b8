// A main window that records what the script objects ask of it, for their tests.
#pragma once

#include <string>
#include <vector>

#include "script/reader_frame.h"

namespace lectern::testing {

class FakeReaderFrame : public IReaderFrame {
 public:
  virtual ~FakeReaderFrame() = default;

  bool HasMainWindow() override { return has_window; }
  bool IsMainWindowVisible() override { return visible; }
  void ShowMainWindow(bool show) override {
    visible = show;
    calls.push_back(show ? "show" : "hide");
  }
  void PostClose() override { calls.push_back("close"); }
  void SendCommand(ReaderCommand command) override { calls.push_back("command " + std::to_string(uint32_t(command))); }
  std::string HomeUrl() override { return home_url; }
  bool GetSetting(std::string_view key, std::string& value) override {
    value.clear();
    if (manager) manager->book().settings().Get(key, value);
    return !value.empty();
  }
  IEbkManager* BookManager() override { return manager; }
  std::string PlaceIdentity() override {
    std::string guid;
    GetSetting("guid", guid);
    return guid.empty() ? fallback_identity : guid;
  }
  void GoBack() override { calls.push_back("back"); }
  void GoForward() override { calls.push_back("forward"); }
  void StopLoading() override { calls.push_back("stop"); }
  void Refresh() override { calls.push_back("refresh"); }
  void SetTextSize(int32_t size) override { calls.push_back("textsize " + std::to_string(size)); }
  void RefreshViewHosting(IDispatch* object) override {
    refreshed = object;
    calls.push_back("refresh2");
  }
  int ShowMessage(std::string_view text, std::string_view caption, unsigned style) override {
    calls.push_back("message " + std::string(text) + "|" + std::string(caption) + "|" + std::to_string(style));
    return 1;
  }
  int32_t TrackPopupMenu(const std::vector<MenuItem>& items, int32_t x, int32_t y) override {
    shown_items = items;
    calls.push_back("popup " + std::to_string(x) + "," + std::to_string(y));
    return chosen_command;
  }

  bool has_window = true;
  bool visible = true;
  std::string home_url;
  // What PlaceIdentity answers for a book without a guid.
  std::string fallback_identity;
  CEbkManager* manager = nullptr;
  IDispatch* refreshed = nullptr;
  std::vector<MenuItem> shown_items;
  int32_t chosen_command = 0;
  std::vector<std::string> calls;
};

}  // namespace lectern::testing
