#include "archive/directory_section.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "archive/format.h"

namespace lectern {

namespace {

// A name that would land its records somewhere other than where they are written.
bool IsNodeName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of("/\\") == std::string_view::npos;
}

}  // namespace

bool LoadDirectoryRecords(std::span<const uint8_t> body, FileSystem& fs, ArchiveError* error) {
  const uint8_t* p = body.data();
  const uint8_t* end = p + body.size();
  const uint8_t* record = p;
  auto fail = [&](std::string description) {
    if (error) *error = {int64_t(record - body.data()), std::move(description)};
    return false;
  };
  auto read_name = [&](std::string_view& name) {
    const void* nul = std::memchr(p, 0, size_t(end - p));
    if (!nul) return false;  // a name without its terminator runs past the section
    name = std::string_view(reinterpret_cast<const char*>(p), size_t(static_cast<const uint8_t*>(nul) - p));
    p = static_cast<const uint8_t*>(nul) + 1;
    return true;
  };
  auto quoted = [](std::string_view name) {
    return Concat({"\"", name.substr(0, 64), name.size() > 64 ? "...\"" : "\""});
  };
  while (p < end) {
    record = p;
    uint8_t kind = *p;
    std::string_view name;
    if (kind == kRecordEnd) return true;
    if (kind == kRecordLeave) {
      ++p;
      fs.ChangeDir("..");
      continue;
    }
    if (kind == kRecordDirectory) {
      ++p;
      if (!read_name(name)) return fail("a folder name runs past the end of the directory");
      // Such a name would let later records land in some other folder, or nowhere.
      if (!IsNodeName(name)) return fail(Concat({"a folder record named ", quoted(name)}));
      if (!fs.Add(name, 0, NodeKind::kDirectory, true) || !fs.ChangeDir(name))
        return fail(Concat({"the folder ", quoted(name), " cannot be entered"}));
      continue;
    }
    if (!read_name(name)) return fail("a file name runs past the end of the directory");
    if (end - p < 4) return fail(Concat({"the file record ", quoted(name), " lacks its data offset"}));
    if (!IsNodeName(name)) return fail(Concat({"a file record named ", quoted(name)}));
    uint32_t offset = LoadU32(p);
    p += 4;
    fs.Add(name, offset, NodeKind::kFile, true);
  }
  return true;
}

void AppendDirectoryRecords(const FsNode& dir, std::string& out) {
  // Iterative, so that a deep tree cannot exhaust the stack.
  struct Frame {
    const FsNode* dir;
    size_t next;
  };
  std::vector<Frame> stack{{&dir, 0}};
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next == top.dir->children.size()) {
      stack.pop_back();
      if (!stack.empty()) out.push_back(char(kRecordLeave));
      continue;
    }
    const FsNode& child = *top.dir->children[top.next++];
    if (child.is_directory()) {
      out.push_back(char(kRecordDirectory));
      out += child.name;
      out.push_back('\0');
      stack.push_back({&child, 0});
    } else {
      out += child.name;
      out.push_back('\0');
      uint8_t offset[4];
      StoreU32(offset, child.data_offset);
      out.append(reinterpret_cast<const char*>(offset), 4);
    }
  }
}

}  // namespace lectern
