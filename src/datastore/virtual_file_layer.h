// The virtual file layer: the file functions the page component and its plug-ins read through,
// answering datastore paths from the open book and passing every other call, unchanged, to the
// real functions. An open datastore file is a book file stream; its address is the handle.
//
// The platform layer (import patching on Windows, the URI scheme elsewhere) only forwards its
// calls here. Every replacement holds the process-wide interception lock for its whole work,
// the stream table's own lock is taken inside it, and the book is reached through the published
// book manager (GetEBKM).
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <set>

#include "book/book_file_stream.h"
#include "datastore/file_functions.h"

namespace lectern {

// Process-wide; recursive, like the critical section it stands for.
std::recursive_mutex& InterceptionLock();

// The set of live stream handles, ordered by handle value, with its own lock.
class StreamTable {
 public:
  StreamTable() = default;
  ~StreamTable();
  StreamTable(const StreamTable&) = delete;
  StreamTable& operator=(const StreamTable&) = delete;

  HANDLE Insert(std::unique_ptr<BookFileStream> stream);
  // The stream behind `handle`, or null when it is not one of ours.
  BookFileStream* Find(HANDLE handle);
  // Destroys the stream; false when `handle` is not one of ours.
  bool Erase(HANDLE handle);
  size_t size();

 private:
  std::mutex mutex_;
  std::set<BookFileStream*> streams_;
};

// Whether page content may be dragged out of the book. Off until the view applies the book's
// copy setting.
void SetDragCopyAllowed(bool allowed);
bool DragCopyAllowed();

class VirtualFileLayer final : public FileFunctions {
 public:
  // `real` must outlive the layer. The layer starts removed: call Install.
  explicit VirtualFileLayer(FileFunctions& real) : real_(real) {}
  ~VirtualFileLayer() override;
  VirtualFileLayer(const VirtualFileLayer&) = delete;
  VirtualFileLayer& operator=(const VirtualFileLayer&) = delete;

  // Creates the stream table. A second call keeps the table there is.
  void Install();
  // Destroys the stream table and every stream still open. From then on each replacement gives
  // its fixed answer and passes nothing on.
  void Remove();
  bool installed();
  size_t open_stream_count();

  HANDLE CreateFileA(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security, DWORD disposition,
                     DWORD flags, HANDLE template_file) override;
  HANDLE CreateFileW(const OLECHAR* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                     DWORD disposition, DWORD flags, HANDLE template_file) override;
  BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped) override;
  DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distance_high, DWORD method) override;
  DWORD GetFileSize(HANDLE file, DWORD* size_high) override;
  DWORD GetFileType(HANDLE file) override;
  BOOL CloseHandle(HANDLE object) override;
  DWORD GetFileAttributesA(const char* path) override;
  DWORD GetFileAttributesW(const OLECHAR* path) override;
  HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) override;
  HANDLE FindFirstFileW(const OLECHAR* pattern, WIN32_FIND_DATAW* data) override;
  HANDLE FindFirstFileExA(const char* pattern, FindInfoLevel level, void* data, FindSearchOps search, void* filter,
                          DWORD flags) override;
  HANDLE FindFirstFileExW(const OLECHAR* pattern, FindInfoLevel level, void* data, FindSearchOps search,
                          void* filter, DWORD flags) override;
  BOOL FindClose(HANDLE find) override;
  BOOL CopyFileA(const char* source, const char* destination, BOOL fail_if_exists) override;
  BOOL CopyFileW(const OLECHAR* source, const OLECHAR* destination, BOOL fail_if_exists) override;
  // The drag gate: DRAGDROP_S_CANCEL while dragging out is not allowed.
  HRESULT DoDragDrop(void* data_object, void* drop_source, DWORD allowed_effects, DWORD* effect) override;
  // Zone elevation always reads as enabled, and never as enabled for a zone crossing, so book
  // pages keep the rights of local files.
  HRESULT CoInternetIsFeatureEnabled(DWORD feature, DWORD flags) override;
  HRESULT CoInternetIsFeatureZoneElevationEnabled(const OLECHAR* from_url, const OLECHAR* to_url,
                                                  void* security_manager, DWORD flags) override;

  // Not replaced: always the real functions (a write to a stream handle therefore fails there).
  BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written, OVERLAPPED* overlapped) override {
    return real_.WriteFile(file, buffer, count, written, overlapped);
  }
  BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) override { return real_.FindNextFileA(find, data); }
  BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data) override { return real_.FindNextFileW(find, data); }
  BOOL DeleteFileA(const char* path) override { return real_.DeleteFileA(path); }
  BOOL DeleteFileW(const OLECHAR* path) override { return real_.DeleteFileW(path); }

 private:
  // How a datastore name reads: a path the book may hold, or one that no file can have.
  enum class Lookup { kNotDatastore, kRefused, kBookPath };
  static Lookup Classify(std::string_view path, std::string& book_path);
  HANDLE OpenStream(const std::string& book_path);
  template <typename Data, typename Name>
  HANDLE FindFirst(std::string_view narrow_path, Name caller_name, Data* data, bool& answered);
  template <typename Char>
  BOOL Copy(const Char* source, const Char* destination, BOOL fail_if_exists);

  FileFunctions& real_;
  std::unique_ptr<StreamTable> table_;
};

// The process's layer over the real functions, and its installation and removal at start-up and
// shut-down.
VirtualFileLayer& FileInterception();
void InstallFileInterception();
void RemoveFileInterception();

}  // namespace lectern
