#include "browser/navigation_policy.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <vector>

#include "archive/file_system.h"
#include "book/book_file_stream.h"
#include "browser/view_uri.h"
#include "platform/user_folders.h"
#include "resources/string_table.h"

namespace lectern {
namespace {

constexpr std::string_view kDatastorePathRoot = "c:/datastore";

constexpr std::string_view kExternalExtensions[] = {".pdf", ".exe", ".doc", ".dot", ".ppt", ".pps", ".xls", ".zip",
                                                    ".rar", ".tar", ".gz",  ".mp3", ".wav", ".avi", ".lzh"};

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= size_t(n);
  }
  return true;
}

}  // namespace

std::string PolicyTarget(std::string_view target_uri) {
  std::string target;
  std::string path = ViewUriToBookPath(target_uri);
  target = path.empty() ? std::string(target_uri) : std::string(kDatastorePathRoot) + path;
  for (char& c : target) {
    if (c == '\\') c = '/';
    c = char(std::tolower(static_cast<unsigned char>(c)));
  }
  return target;
}

bool IsExternalDocument(std::string_view policy_target) {
  if (policy_target.size() <= kDatastorePathRoot.size() ||
      !EqualsIgnoringAsciiCase(policy_target.substr(0, kDatastorePathRoot.size()), kDatastorePathRoot) ||
      policy_target[kDatastorePathRoot.size()] != '/')
    return false;
  std::string_view name = policy_target.substr(policy_target.find_last_of('/') + 1);
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  for (std::string_view extension : kExternalExtensions)
    if (EqualsIgnoringAsciiCase(name.substr(dot), extension)) return true;
  return false;
}

ExternalDocument SaveExternalDocument(IEbkManager* manager, std::string_view policy_target,
                                      const std::string& folder) {
  ExternalDocument result;
  auto fail = [&](ExternalDocumentError error, int message_id) {
    result.error = error;
    result.message = FormatString(LoadString(message_id), policy_target);
    return result;
  };
  // Without a folder to put it in there is no copy (never one at the top of the file system).
  if (folder.empty()) return fail(ExternalDocumentError::kCreateFailed, kStrCreateFileFailed);
  std::string_view relative = policy_target.substr(std::min(policy_target.size(), kDatastorePathRoot.size()));
  BookFileStream stream(manager);
  if (!stream.Open(Utf8ToWide(relative))) return fail(ExternalDocumentError::kMissing, kStrFileDoesNotExist);
  std::vector<uint8_t> bytes(stream.length());
  if (stream.Read(bytes.data(), uint32_t(bytes.size())) != bytes.size())
    return fail(ExternalDocumentError::kReadFailed, kStrReadFileFailed);

  // Only the last component names the copy, so a book path can never point outside the folder.
  std::string_view name = relative.substr(relative.find_last_of('/') + 1);
  if (name.empty() || name == "." || name == "..") return fail(ExternalDocumentError::kCreateFailed, kStrCreateFileFailed);
  result.saved_path = folder + "/" + std::string(name);
  // An earlier copy of ours makes way; anything else of that name is left alone, and the
  // exclusive create below then fails rather than write through it.
  if (IsOwnRegularFile(result.saved_path)) ::unlink(result.saved_path.c_str());
  int fd = ::open(result.saved_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0 || !WriteAll(fd, bytes.data(), bytes.size())) {
    if (fd >= 0) ::close(fd);
    result.saved_path.clear();
    return fail(ExternalDocumentError::kCreateFailed, kStrCreateFileFailed);
  }
  ::close(fd);
  return result;
}

}  // namespace lectern
