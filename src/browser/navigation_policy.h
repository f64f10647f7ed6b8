// The view's navigation policy: book documents that a page engine cannot show (PDF, archives,
// office files, sound and video) are cancelled in the view and handed to the desktop instead.
#pragma once

#include <string>
#include <string_view>

#include "book/ebk_manager.h"

namespace lectern {

// The target as the policy compares it: '\' turned into '/', lower case. View URIs of the book
// become their path form, "c:/datastore/docs/manual.pdf".
std::string PolicyTarget(std::string_view target_uri);

// True for a policy target inside the book whose extension is on the external document list.
bool IsExternalDocument(std::string_view policy_target);

enum class ExternalDocumentError { kNone, kMissing, kReadFailed, kCreateFailed };

struct ExternalDocument {
  ExternalDocumentError error = ExternalDocumentError::kNone;
  std::string saved_path;  // the copy in the temporary folder, when there is one
  // The message the user sees for an error ("File %s doesn't exist!" and its kin), else empty.
  std::string message;
};

// Copies the book file a policy target names into `folder` (the private files folder) under its
// last path component, as a new file only this user can read. An earlier copy of ours is
// replaced; any other file of that name is left alone, and the copy fails.
ExternalDocument SaveExternalDocument(IEbkManager* manager, std::string_view policy_target,
                                      const std::string& folder);

}  // namespace lectern
