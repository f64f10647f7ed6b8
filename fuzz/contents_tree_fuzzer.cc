// The contents tree from outside bytes. The first byte chooses the source: a configuration
// document (its "toc"), a directory section's records, or a bare sequence of directory records
// (folders left past the root included). Every item's links must hold together, and every URL and
// path the pane would open must be made without fault.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/directory_section.h"
#include "book/xml/parse_xml.h"
#include "panes/contents_tree_model.h"

namespace {

void Walk(lectern::ContentsTreeModel& model) {
  const auto& items = model.items();
  for (size_t i = 0; i < items.size(); ++i) {
    const auto& item = items[i];
    if (item.parent != lectern::ContentsTreeModel::kNone &&
        (item.parent < 0 || size_t(item.parent) >= items.size()))
      std::abort();
    for (int child : item.children)
      if (child < 0 || size_t(child) >= items.size() || items[size_t(child)].parent != int(i)) std::abort();
    int index = int(i);
    model.SetExpanded(index, true);
    model.TargetUrl(index, "");
    model.TargetUrl(index, "/books/folder");
    model.ItemPath(index);
    for (auto event : {lectern::ContentsTreeModel::OpenEvent::kClick, lectern::ContentsTreeModel::OpenEvent::kEnter,
                       lectern::ContentsTreeModel::OpenEvent::kSelectionChange})
      model.UrlToOpen(index, event, "");
    model.SetExpanded(index, false);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 3) {
    case 0: {
      lectern::ContentsTreeModel model(false, "Book");
      lectern::XmlParseResult parsed = lectern::ParseXml(rest);
      model.FillFromContents(parsed.ok() ? parsed.document->GetRoot() : nullptr);
      Walk(model);
      break;
    }
    case 1: {
      lectern::FileSystem fs;
      lectern::LoadDirectoryRecords(std::span(data + 1, size - 1), fs);
      lectern::ContentsTreeModel model(false, "");
      model.SetMode(lectern::TreeMode::kDirectory);
      std::vector<lectern::DirectoryRecord> records = lectern::DirectoryRecordsOf(fs);
      model.FillFromDirectoryRecords(records);
      Walk(model);
      break;
    }
    default: {
      // Kind in one byte, then a NUL-terminated name for folders and files.
      std::vector<lectern::DirectoryRecord> records;
      for (size_t i = 0; i < rest.size() && records.size() < 4096;) {
        auto kind = lectern::DirectoryRecord::Kind(uint8_t(rest[i++]) % 4);
        std::string name;
        if (kind == lectern::DirectoryRecord::Kind::kDirectory || kind == lectern::DirectoryRecord::Kind::kFile) {
          size_t end = rest.find('\0', i);
          if (end == std::string_view::npos) end = rest.size();
          name = std::string(rest.substr(i, end - i));
          i = end + 1;
        }
        records.push_back({kind, std::move(name)});
      }
      lectern::ContentsTreeModel model(false, "Book");
      model.SetMode(lectern::TreeMode::kDirectory);
      model.FillFromDirectoryRecords(records);
      Walk(model);
      break;
    }
  }
  return 0;
}
