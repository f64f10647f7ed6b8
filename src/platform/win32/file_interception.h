// The file function interception on Windows: the listed modules' imports of the file functions
// are pointed at replacements with the system's own signatures and calling convention, which hand
// every call to the process's virtual file layer; the drag import of the page component goes to
// the drag gate; and the two URL-moniker feature functions are patched at their entry points.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/import_patch.h"

namespace lectern {

// The modules whose imports are patched, in order: the fixed list, then the path registered for
// the plug-in class below (skipped when its key or value is missing or empty).
std::vector<std::string> InterceptedModules();
inline constexpr char kPluginServerKey[] = "CLSID\\{d27cdb6e-ae6d-11cf-96b8-444553540000}\\InprocServer32";

// One import patch of the list: the imported module, the function, and its replacement.
struct FilePatch {
  const char* imported_module;
  ImportName function;
  void* replacement;
};
// The patches made in each module, in the order they are made.
const std::vector<FilePatch>& FilePatches();

// The replacements' addresses, for tests that check a slot points where it should.
void* DragGateAddress();
void* FeatureEnabledReplacementAddress();
void* ZoneElevationReplacementAddress();

// Whether the entry points of the two feature functions now lead to the replacements (each is
// patched once per process, at the first installation). Never in a build for another processor
// than 32-bit x86: there the system's own answers stand.
bool FeatureFunctionsPatched();

// Declared by the virtual file layer (datastore/virtual_file_layer.h): InstallFileInterception()
// makes the stream table and patches as above; RemoveFileInterception() destroys the table and
// leaves the patches, so the replacements give their fixed answers from then on.

}  // namespace lectern
