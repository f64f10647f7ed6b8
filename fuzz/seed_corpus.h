// The fuzzers' seed files, made with the writer so that they are real books and real directory
// bodies. The committed copies under fuzz/corpus/ are checked against these by a test, which also
// rewrites them when LECTERN_REGENERATE_SEEDS=1 (scripts/make-fuzz-seeds).
#pragma once

#include <map>
#include <string>

namespace lectern::testing {

// Fuzzer name -> (file name -> bytes).
std::map<std::string, std::map<std::string, std::string>> MakeSeedCorpus(const std::string& scratch_dir);

}  // namespace lectern::testing
