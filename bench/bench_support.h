// What the benchmarks share: the folder they keep their data in, and the real book they measure,
// the debian-handbook package's HTML tree, fetched and packed on first use.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "archive/zpk_writer.h"

namespace lectern::bench {

// bench/data/ under the source folder (git-ignored, kept between runs); made on first use.
std::filesystem::path BenchDataFolder();

// The handbook's HTML tree, fetched on first use; an empty path with `error` saying what failed.
std::filesystem::path HandbookHtml(std::string& error);

// `folder` packed into `book` with `options` and `settings`, replacing it; false with `error` set.
bool PackFolderToBook(const std::filesystem::path& folder, const std::filesystem::path& book,
                      const ZpkWriterOptions& options, const std::map<std::string, std::string>& settings,
                      std::string& error);

// The handbook packed into bench/data/BENCH-handbook.ebk, each benchmark under its own name so that
// none reads another's book; packed on the first run and reused later. Empty with `error` set.
std::string PackedHandbook(const std::string& bench, const ZpkWriterOptions& options,
                           const std::map<std::string, std::string>& settings, std::string& error);

}  // namespace lectern::bench
