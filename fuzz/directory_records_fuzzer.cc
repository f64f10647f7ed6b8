// The bytes as a deciphered directory body: loaded into a tree, looked up, written back as records
// and loaded again. Written records must load into the same tree, so the second writing must equal
// the first.
#include <cstdint>
#include <span>
#include <string>

#include "archive/directory_section.h"
#include "archive/file_system.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lectern::FileSystem fs;
  lectern::LoadDirectoryRecords(std::span(data, size), fs);
  for (const char* path : {"index.htm", "/pages/a.htm", "..", ".", "/", "a\\b/../c", "//x//", "x:"}) {
    fs.Find(path, lectern::NodeKind::kFile);
    fs.Find(path, lectern::NodeKind::kDirectory);
  }
  fs.ChangeDir("..");
  fs.ChangeDir("/");

  std::string first;
  lectern::AppendDirectoryRecords(*fs.root(), first);
  first.push_back('\xFF');
  lectern::FileSystem again;
  if (!lectern::LoadDirectoryRecords(std::span(reinterpret_cast<const uint8_t*>(first.data()), first.size()), again))
    __builtin_trap();
  std::string second;
  lectern::AppendDirectoryRecords(*again.root(), second);
  second.push_back('\xFF');
  if (first != second || fs.node_count() != again.node_count()) __builtin_trap();

  // Removing the first child exercises re-indexing of names left behind.
  if (!fs.root()->children.empty()) {
    const lectern::FsNode& child = *fs.root()->children.front();
    std::string name = "/" + child.name;
    lectern::NodeKind kind = child.kind;
    fs.Remove(name, kind);
    fs.Find(name, kind);
  }
  return 0;
}
