// The book manager: the one open book of the process, behind the interface every other layer
// reads it through. Paths arrive as wide strings, as the browser and script hand them over.
#pragma once

#include <atomic>
#include <cstdint>

#include "book/ebk.h"
#include "platform/com.h"

namespace lectern {

// {FC9E1F96-3F18-4D9B-8EDB-941FDB90B88B}
inline constexpr IID IID_IEbkManager = {0xFC9E1F96, 0x3F18, 0x4D9B, {0x8E, 0xDB, 0x94, 0x1F, 0xDB, 0x90, 0xB8, 0x8B}};

class IEbkManager : public IUnknown {
 public:
  // With a null `buffer`, `size` receives the content size; with one, `size` is its capacity on
  // entry and the content length on return. S_OK or S_FALSE.
  virtual HRESULT LECTERN_COM_CALL ReadFile(const OLECHAR* path, uint8_t* buffer, uint32_t* size) = 0;
  // Opens the book file once; later calls answer S_OK and change nothing.
  virtual HRESULT LECTERN_COM_CALL Open(const OLECHAR* book_path) = 0;
  // The absolute offset and length of a file's raw companion data in the book file.
  virtual HRESULT LECTERN_COM_CALL GetFileInfo(const OLECHAR* path, uint32_t* offset, uint32_t* size) = 0;
  // The book file's descriptor, -1 when no book is open. Always S_OK.
  virtual HRESULT LECTERN_COM_CALL GetFileHandle(int32_t* handle) = 0;

 protected:
  ~IEbkManager() = default;
};

// A wide book path as the archive looks it up: UTF-8, and every '%' with the two characters after
// it turned into one space (escapes are not decoded, so "%41" is a space too).
std::string ConvertBookPath(WideStringView path);

class CEbkManager final : public IEbkManager {
 public:
  // Starts with one reference, held by the creator.
  static CEbkManager* Create();

  HRESULT LECTERN_COM_CALL QueryInterface(REFIID iid, void** object) override;
  ULONG LECTERN_COM_CALL AddRef() override;
  ULONG LECTERN_COM_CALL Release() override;
  HRESULT LECTERN_COM_CALL ReadFile(const OLECHAR* path, uint8_t* buffer, uint32_t* size) override;
  HRESULT LECTERN_COM_CALL Open(const OLECHAR* book_path) override;
  HRESULT LECTERN_COM_CALL GetFileInfo(const OLECHAR* path, uint32_t* offset, uint32_t* size) override;
  HRESULT LECTERN_COM_CALL GetFileHandle(int32_t* handle) override;

  Ebk& book() { return book_; }
  const Ebk& book() const { return book_; }

 private:
  CEbkManager() = default;
  ~CEbkManager() = default;

  std::atomic<ULONG> references_{1};
  Ebk book_;
};

// The manager that GetEBKM hands out: the window layer publishes the one it created (null withdraws
// it). The caller keeps its own reference; publishing takes none.
void PublishEbkManager(IEbkManager* manager);
// The published manager with a reference added for the caller; E_FAIL when there is none.
HRESULT GetEBKM(IEbkManager** manager);

}  // namespace lectern
