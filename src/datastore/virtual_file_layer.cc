#include "datastore/virtual_file_layer.h"

#include <algorithm>
#include <array>
#include <vector>

#include "datastore/datastore_path.h"

namespace lectern {
namespace {

constexpr DWORD kDatastoreAttributesAnswer = 0xA0;
constexpr DWORD kCopyChunk = 32768;
constexpr DWORD kFeatureZoneElevation = 1;

std::atomic<bool> g_drag_copy_allowed{false};

size_t WideLength(const OLECHAR* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

std::string Narrow(const OLECHAR* wide) { return wide ? WideToUtf8(WideStringView(wide, WideLength(wide))) : ""; }

template <typename Char>
std::basic_string_view<Char> LastComponent(std::basic_string_view<Char> path) {
  size_t at = path.find_last_of(std::basic_string_view<Char>(std::array<Char, 2>{Char('/'), Char('\\')}.data(), 2));
  return at == std::basic_string_view<Char>::npos ? path : path.substr(at + 1);
}

std::string NarrowOf(const char* text) { return NarrowPathToUtf8(text); }
std::string NarrowOf(const OLECHAR* text) { return Narrow(text); }

// The real calls a copy makes, in the width its caller used.
DWORD RealAttributes(FileFunctions& real, const char* path) { return real.GetFileAttributesA(path); }
DWORD RealAttributes(FileFunctions& real, const OLECHAR* path) { return real.GetFileAttributesW(path); }
BOOL RealCopy(FileFunctions& real, const char* from, const char* to, BOOL fail) { return real.CopyFileA(from, to, fail); }
BOOL RealCopy(FileFunctions& real, const OLECHAR* from, const OLECHAR* to, BOOL fail) {
  return real.CopyFileW(from, to, fail);
}
template <typename... Args>
HANDLE RealCreate(FileFunctions& real, const char* path, Args... args) { return real.CreateFileA(path, args...); }
template <typename... Args>
HANDLE RealCreate(FileFunctions& real, const OLECHAR* path, Args... args) { return real.CreateFileW(path, args...); }
BOOL RealDelete(FileFunctions& real, const char* path) { return real.DeleteFileA(path); }
BOOL RealDelete(FileFunctions& real, const OLECHAR* path) { return real.DeleteFileW(path); }

ComPtr<IEbkManager> PublishedManager() {
  IEbkManager* manager = nullptr;
  if (GetEBKM(&manager) != S_OK) return {};
  return ComPtr<IEbkManager>(manager, false);
}

}  // namespace

std::recursive_mutex& InterceptionLock() {
  static std::recursive_mutex* lock = new std::recursive_mutex();  // outlives every static user
  return *lock;
}

StreamTable::~StreamTable() {
  for (BookFileStream* stream : streams_) delete stream;
}

HANDLE StreamTable::Insert(std::unique_ptr<BookFileStream> stream) {
  std::lock_guard lock(mutex_);
  BookFileStream* raw = stream.release();
  streams_.insert(raw);
  return static_cast<HANDLE>(raw);
}

BookFileStream* StreamTable::Find(HANDLE handle) {
  std::lock_guard lock(mutex_);
  auto it = streams_.find(static_cast<BookFileStream*>(handle));
  return it == streams_.end() ? nullptr : *it;
}

bool StreamTable::Erase(HANDLE handle) {
  std::unique_ptr<BookFileStream> doomed;
  {
    std::lock_guard lock(mutex_);
    auto it = streams_.find(static_cast<BookFileStream*>(handle));
    if (it == streams_.end()) return false;
    doomed.reset(*it);
    streams_.erase(it);
  }
  return true;
}

size_t StreamTable::size() {
  std::lock_guard lock(mutex_);
  return streams_.size();
}

void SetDragCopyAllowed(bool allowed) { g_drag_copy_allowed = allowed; }
bool DragCopyAllowed() { return g_drag_copy_allowed; }

VirtualFileLayer::~VirtualFileLayer() { Remove(); }

void VirtualFileLayer::Install() {
  std::lock_guard lock(InterceptionLock());
  if (!table_) table_ = std::make_unique<StreamTable>();
}

void VirtualFileLayer::Remove() {
  std::lock_guard lock(InterceptionLock());
  table_.reset();
}

bool VirtualFileLayer::installed() {
  std::lock_guard lock(InterceptionLock());
  return table_ != nullptr;
}

size_t VirtualFileLayer::open_stream_count() {
  std::lock_guard lock(InterceptionLock());
  return table_ ? table_->size() : 0;
}

VirtualFileLayer::Lookup VirtualFileLayer::Classify(std::string_view path, std::string& book_path) {
  if (!IsDatastorePath(path)) return Lookup::kNotDatastore;
  std::optional<std::string> normal = NormalizeBookPath(DatastoreRelativePath(path));
  if (!normal) return Lookup::kRefused;
  book_path = std::move(*normal);
  return Lookup::kBookPath;
}

HANDLE VirtualFileLayer::OpenStream(const std::string& book_path) {
  auto stream = std::make_unique<BookFileStream>(PublishedManager().get());
  if (!stream->Open(Utf8ToWide(book_path))) return kInvalidHandle;
  return table_->Insert(std::move(stream));
}

HANDLE VirtualFileLayer::CreateFileA(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                                     DWORD disposition, DWORD flags, HANDLE template_file) {
  std::lock_guard lock(InterceptionLock());
  if (!table_) return kInvalidHandle;
  std::string book_path;
  Lookup lookup = path ? Classify(NarrowPathToUtf8(path), book_path) : Lookup::kNotDatastore;
  if (lookup == Lookup::kNotDatastore)
    return real_.CreateFileA(path, access, share, security, disposition, flags, template_file);
  if (lookup == Lookup::kRefused) return kInvalidHandle;
  return OpenStream(book_path);
}

HANDLE VirtualFileLayer::CreateFileW(const OLECHAR* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                                     DWORD disposition, DWORD flags, HANDLE template_file) {
  std::lock_guard lock(InterceptionLock());
  if (!table_) return kInvalidHandle;
  std::string book_path;
  Lookup lookup = path ? Classify(Narrow(path), book_path) : Lookup::kNotDatastore;
  if (lookup == Lookup::kNotDatastore)
    return real_.CreateFileW(path, access, share, security, disposition, flags, template_file);
  if (lookup == Lookup::kRefused) return kInvalidHandle;
  return OpenStream(book_path);
}

BOOL VirtualFileLayer::ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped) {
  std::lock_guard lock(InterceptionLock());
  if (!table_) return kFalse;
  BookFileStream* stream = table_->Find(file);
  if (!stream) return real_.ReadFile(file, buffer, count, read, overlapped);
  // Without somewhere to say how much arrived, or somewhere to put it, nothing is read.
  if (!read || (!buffer && count > 0)) return kFalse;
  *read = stream->Read(buffer, count);
  return kTrue;
}

DWORD VirtualFileLayer::SetFilePointer(HANDLE file, LONG distance, LONG* distance_high, DWORD method) {
  std::lock_guard lock(InterceptionLock());
  if (!table_) return INVALID_SET_FILE_POINTER;
  BookFileStream* stream = table_->Find(file);
  if (!stream) return real_.SetFilePointer(file, distance, distance_high, method);
  int64_t at = stream->Seek(uint32_t(distance), method);
  return at < 0 ? INVALID_SET_FILE_POINTER : DWORD(at);
}

DWORD VirtualFileLayer::GetFileSize(HANDLE file, DWORD* size_high) {
  std::lock_guard lock(InterceptionLock());
  if (!table_) return 0;
  BookFileStream* stream = table_->Find(file);
  if (!stream) return real_.GetFileSize(file, size_high);
  if (size_high) *size_high = 0;
  return stream->length();
}

DWORD VirtualFileLayer::GetFileType(HANDLE file) {
  std::lock_guard lock(InterceptionLock());
  if (!table_) return FILE_TYPE_DISK;
  if (!table_->Find(file)) return real_.GetFileType(file);
  return FILE_TYPE_DISK;
}

BOOL VirtualFileLayer::CloseHandle(HANDLE object) {
  std::lock_guard lock(InterceptionLock());
  if (!table_) return kTrue;
  if (table_->Erase(object)) return kTrue;
  return real_.CloseHandle(object);
}

DWORD VirtualFileLayer::GetFileAttributesA(const char* path) {
  std::lock_guard lock(InterceptionLock());
  if (!table_) return 0;
  std::string book_path;
  Lookup lookup = path ? Classify(NarrowPathToUtf8(path), book_path) : Lookup::kNotDatastore;
  if (lookup == Lookup::kRefused) return INVALID_FILE_ATTRIBUTES;
  if (lookup == Lookup::kBookPath && DatastoreStat(book_path, nullptr, nullptr)) return kDatastoreAttributesAnswer;
  return real_.GetFileAttributesA(path);
}

DWORD VirtualFileLayer::GetFileAttributesW(const OLECHAR* path) {
  std::lock_guard lock(InterceptionLock());
  if (!table_) return 0;
  std::string book_path;
  Lookup lookup = path ? Classify(Narrow(path), book_path) : Lookup::kNotDatastore;
  if (lookup == Lookup::kRefused) return INVALID_FILE_ATTRIBUTES;
  if (lookup == Lookup::kBookPath && DatastoreStat(book_path, nullptr, nullptr)) return kDatastoreAttributesAnswer;
  return real_.GetFileAttributesW(path);
}

// Under the lock, with the table present. `answered` false: the caller passes the call on.
template <typename Data, typename Name>
HANDLE VirtualFileLayer::FindFirst(std::string_view narrow_path, Name caller_name, Data* data, bool& answered) {
  answered = true;
  std::string book_path;
  Lookup lookup = Classify(narrow_path, book_path);
  if (lookup == Lookup::kRefused) return kInvalidHandle;
  uint32_t attributes = 0, size = 0;
  if (lookup != Lookup::kBookPath || !DatastoreStat(book_path, &attributes, &size)) {
    answered = false;
    return kInvalidHandle;
  }
  if (data) {
    FILETIME now = CurrentFileTime();
    data->dwFileAttributes = attributes;
    data->ftCreationTime = now;
    data->ftLastAccessTime = now;
    data->ftLastWriteTime = now;
    data->nFileSizeHigh = 0;
    data->nFileSizeLow = size;
    SetFindName(*data, LastComponent(caller_name));
  }
  return kDatastoreFindHandle;
}

HANDLE VirtualFileLayer::FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) {
  std::lock_guard lock(InterceptionLock());
  if (!table_) return kInvalidHandle;
  if (pattern && data) {
    bool answered = false;
    HANDLE handle = FindFirst(NarrowPathToUtf8(pattern), std::string_view(pattern), data, answered);
    if (answered) return handle;
  }
  return real_.FindFirstFileA(pattern, data);
}

HANDLE VirtualFileLayer::FindFirstFileW(const OLECHAR* pattern, WIN32_FIND_DATAW* data) {
  std::lock_guard lock(InterceptionLock());
  if (!table_) return kInvalidHandle;
  if (pattern && data) {
    bool answered = false;
    HANDLE handle = FindFirst(Narrow(pattern), WideStringView(pattern, WideLength(pattern)), data, answered);
    if (answered) return handle;
  }
  return real_.FindFirstFileW(pattern, data);
}

HANDLE VirtualFileLayer::FindFirstFileExA(const char* pattern, FindInfoLevel level, void* data, FindSearchOps search,
                                          void* filter, DWORD flags) {
  std::lock_guard lock(InterceptionLock());
  if (!table_) return kInvalidHandle;
  if (pattern) {
    bool answered = false;
    HANDLE handle =
        FindFirst(NarrowPathToUtf8(pattern), std::string_view(pattern), static_cast<WIN32_FIND_DATAA*>(data), answered);
    if (answered) return handle;
  }
  return real_.FindFirstFileExA(pattern, level, data, search, filter, flags);
}

HANDLE VirtualFileLayer::FindFirstFileExW(const OLECHAR* pattern, FindInfoLevel level, void* data,
                                          FindSearchOps search, void* filter, DWORD flags) {
  std::lock_guard lock(InterceptionLock());
  if (!table_) return kInvalidHandle;
  if (pattern) {
    bool answered = false;
    HANDLE handle = FindFirst(Narrow(pattern), WideStringView(pattern, WideLength(pattern)),
                              static_cast<WIN32_FIND_DATAW*>(data), answered);
    if (answered) return handle;
  }
  return real_.FindFirstFileExW(pattern, level, data, search, filter, flags);
}

BOOL VirtualFileLayer::FindClose(HANDLE find) {
  std::lock_guard lock(InterceptionLock());
  if (!table_) return kFalse;
  if (find == kDatastoreFindHandle) return kTrue;
  return real_.FindClose(find);
}

template <typename Char>
BOOL VirtualFileLayer::Copy(const Char* source, const Char* destination, BOOL fail_if_exists) {
  std::lock_guard lock(InterceptionLock());
  if (destination && fail_if_exists && RealAttributes(real_, destination) != INVALID_FILE_ATTRIBUTES) return kFalse;
  if (!table_) return kFalse;
  std::string book_path;
  Lookup lookup = source ? Classify(NarrowOf(source), book_path) : Lookup::kNotDatastore;
  if (lookup == Lookup::kRefused) return kFalse;
  if (lookup == Lookup::kNotDatastore || !DatastoreStat(book_path, nullptr, nullptr))
    return RealCopy(real_, source, destination, fail_if_exists);

  // The datastore is read-only; a copy into it would land in some real folder of that name.
  if (!destination || IsDatastorePath(NarrowOf(destination))) return kFalse;
  ComPtr<IEbkManager> manager = PublishedManager();
  if (!manager) return kFalse;
  BookFileStream stream(manager.get());
  if (!stream.Open(Utf8ToWide(book_path))) return kFalse;
  HANDLE out = RealCreate(real_, destination, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == kInvalidHandle) return kFalse;

  // The same bytes a stream reader gets, in chunks, so raw media never sit whole in memory.
  std::vector<uint8_t> chunk(kCopyChunk);
  uint64_t copied = 0;
  bool ok = true;
  while (ok && copied < stream.length()) {
    DWORD got = stream.Read(chunk.data(), kCopyChunk);
    if (got == 0) break;
    DWORD written = 0;
    ok = real_.WriteFile(out, chunk.data(), got, &written, nullptr) && written == got;
    copied += written;
  }
  if (!real_.CloseHandle(out)) ok = false;
  // A destination cut short is not a copy: say so, and leave no truncated file behind.
  if (!ok || copied != stream.length()) {
    RealDelete(real_, destination);
    return kFalse;
  }
  return kTrue;
}

BOOL VirtualFileLayer::CopyFileA(const char* source, const char* destination, BOOL fail_if_exists) {
  return Copy(source, destination, fail_if_exists);
}

BOOL VirtualFileLayer::CopyFileW(const OLECHAR* source, const OLECHAR* destination, BOOL fail_if_exists) {
  return Copy(source, destination, fail_if_exists);
}

HRESULT VirtualFileLayer::DoDragDrop(void* data_object, void* drop_source, DWORD allowed_effects, DWORD* effect) {
  if (!DragCopyAllowed()) return DRAGDROP_S_CANCEL;
  return real_.DoDragDrop(data_object, drop_source, allowed_effects, effect);
}

HRESULT VirtualFileLayer::CoInternetIsFeatureEnabled(DWORD feature, DWORD flags) {
  HRESULT answer = real_.CoInternetIsFeatureEnabled(feature, flags);
  return feature == kFeatureZoneElevation ? S_OK : answer;
}

HRESULT VirtualFileLayer::CoInternetIsFeatureZoneElevationEnabled(const OLECHAR*, const OLECHAR*, void*, DWORD) {
  return S_FALSE;
}

VirtualFileLayer& FileInterception() {
  static VirtualFileLayer* layer = new VirtualFileLayer(RealFileFunctions());  // for the life of the process
  return *layer;
}

#ifndef _WIN32
// Windows adds the patching of other modules' imports to these (the platform library).
void InstallFileInterception() { FileInterception().Install(); }
void RemoveFileInterception() { FileInterception().Remove(); }
#endif

}  // namespace lectern
