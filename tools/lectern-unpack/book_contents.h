// A book's stored files as the reader serves them: an ordinary entry is decompressed; an empty one
// whose raw companion ("name:") exists is that companion, read in place; a companion without its
// file still serves the file's name. Companions are never files of their own.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/zpk.h"

namespace lectern {

struct BookEntry {
  // Archive path: the stored names joined with '/'.
  std::string path;
  // The stored names, one per folder level; for a companion without its file, the file's name.
  // They view the names in the open archive's tree, so each name is held once however many
  // entries lie below it.
  std::vector<std::string_view> names;
  bool folder = false;
  // The content lies uncompressed (masked) in the raw companion's record.
  bool raw = false;
  // False when the entry's record can't be read, lies outside the file, or declares more content
  // than its stored bytes can make.
  bool intact = true;
  uint32_t content_size = 0;
  uint32_t stored_size = 0;
  // The record that holds the content: the companion's for raw entries.
  uint32_t data_offset = 0;
};

// Hands every folder and file to `visit`, folders before their contents, in stored order, one at a
// time: only the entry at hand has its path made, so a hostile tree (long names, many files) costs
// memory for one path, not for all of them. `visit` returning false stops the walk (then false).
bool VisitBookEntries(const ZPK& zpk, const std::function<bool(const BookEntry&)>& visit);

// The file at `path` (looked up as the reader does: either separator, ASCII case ignored).
// False when the book holds no such file; `is_folder` then says whether it is a folder.
bool ResolveBookFile(const ZPK& zpk, std::string_view path, BookEntry& entry, bool* is_folder = nullptr);

// Hands the entry's content to `sink` in pieces (raw content streamed from the book file, never
// whole in memory). False with `error` set when the content can't be read; `sink` returning false
// stops with failure too.
bool ReadBookEntry(ZPK& zpk, const BookEntry& entry, const std::function<bool(std::span<const uint8_t>)>& sink,
                   std::string& error);

// A stored name that can be one component of a path on disk: not empty, not "." or "..", and
// without '/', '\' or NUL.
bool IsSafeName(std::string_view name);

// What extraction writes at most unless told otherwise.
inline constexpr uint64_t kDefaultMaxExtractBytes = uint64_t(4) << 30;

struct ExtractResult {
  size_t files = 0;
  size_t folders = 0;
  // One line per entry that was not written, with the reason: the first kMaxProblemLines of them.
  std::vector<std::string> problems;
  // All of them, listed or not.
  size_t problem_count = 0;
  // Extraction stopped before the end (the byte limit); the reason is the last problem.
  bool stopped = false;
  uint64_t bytes_written = 0;
  static constexpr size_t kMaxProblemLines = 100;
};

// Writes every entry under `target_dir` (made when missing). Each name must pass IsSafeName, and
// every folder on the way is opened without following links, so nothing is ever written outside
// `target_dir`. Existing files of the same names are replaced. Stops, with a problem saying so,
// before an entry would take the bytes written past `max_bytes`.
ExtractResult ExtractBook(ZPK& zpk, const std::string& target_dir, uint64_t max_bytes = kDefaultMaxExtractBytes);

}  // namespace lectern
