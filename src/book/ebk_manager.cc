#include "book/ebk_manager.h"

#include <mutex>

namespace lectern {
namespace {

std::mutex g_published_mutex;
IEbkManager* g_published = nullptr;

size_t WideLength(const OLECHAR* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

}  // namespace

std::string ConvertBookPath(WideStringView path) {
  std::string narrow = WideToUtf8(path);
  if (narrow.find('%') == std::string::npos) return narrow;
  std::string out;
  out.reserve(narrow.size());
  for (size_t i = 0; i < narrow.size(); ++i) {
    if (narrow[i] != '%') {
      out.push_back(narrow[i]);
      continue;
    }
    out.push_back(' ');
    i += std::min<size_t>(2, narrow.size() - i - 1);
  }
  return out;
}

CEbkManager* CEbkManager::Create() { return new CEbkManager(); }

HRESULT CEbkManager::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!(iid == IID_IUnknown) && !(iid == IID_IEbkManager)) return E_NOINTERFACE;
  *object = static_cast<IEbkManager*>(this);
  AddRef();
  return S_OK;
}

ULONG CEbkManager::AddRef() { return ++references_; }

ULONG CEbkManager::Release() {
  ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT CEbkManager::ReadFile(const OLECHAR* path, uint8_t* buffer, uint32_t* size) {
  if (!path || !size) return S_FALSE;
  std::string narrow = ConvertBookPath(WideStringView(path, WideLength(path)));
  return book_.ReadEntry(narrow, buffer, *size) ? S_OK : S_FALSE;
}

HRESULT CEbkManager::Open(const OLECHAR* book_path) {
  if (!book_path) return S_FALSE;
  if (book_.IsOpen()) return S_OK;
  return book_.Open(WideToUtf8(WideStringView(book_path, WideLength(book_path)))) ? S_OK : S_FALSE;
}

HRESULT CEbkManager::GetFileInfo(const OLECHAR* path, uint32_t* offset, uint32_t* size) {
  if (!path || !offset || !size) return S_FALSE;
  std::string narrow = ConvertBookPath(WideStringView(path, WideLength(path)));
  return book_.LocateEntry(narrow, *offset, *size) ? S_OK : S_FALSE;
}

HRESULT CEbkManager::GetFileHandle(int32_t* handle) {
  if (handle) *handle = book_.GetFileHandle();
  return S_OK;
}

void PublishEbkManager(IEbkManager* manager) {
  std::lock_guard lock(g_published_mutex);
  g_published = manager;
}

HRESULT GetEBKM(IEbkManager** manager) {
  if (!manager) return E_POINTER;
  *manager = nullptr;
  std::lock_guard lock(g_published_mutex);
  if (!g_published) return E_FAIL;
  return g_published->QueryInterface(IID_IEbkManager, reinterpret_cast<void**>(manager));
}

}  // namespace lectern
