// The bytes as a project file: read as Preview Mode reads it, every settings key answered, and the
// compiler's settings and configuration document made from it.
#include <cstdint>
#include <string_view>

#include "book/book_compiler.h"
#include "book/project.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lectern::Project project;
  if (!project.LoadText(std::string_view(reinterpret_cast<const char*>(data), size), "/fuzz/project.bpj")) {
    if (project.error().empty()) __builtin_trap();
    return 0;
  }
  for (const lectern::SettingSource& source : lectern::SettingSources()) project.settings().Answer(source.key);
  for (const auto& [key, value] : project.settings().ToArchiveSettings())
    if (value.empty()) __builtin_trap();  // the settings text cannot hold empty values
  lectern::CompiledConfigDocument(project);
  project.BookFolder();
  lectern::ProjectBookPath(project, true);
  return 0;
}
