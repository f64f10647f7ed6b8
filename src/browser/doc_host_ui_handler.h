// The page's `window.external`: a small table of its own (active frame, exit, extract, open with
// the desktop, the reader object) through which page script reaches the window.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "browser/script_channel.h"
#include "script/variant.h"

namespace lectern {

// What `window.external` asks of the window it lives in.
class IHostFrame {
 public:
  virtual void PostClose() = 0;
  // The extract dialog for a book path, modal to the active window.
  virtual void ExtractFile(std::string_view book_path) = 0;
  // Opens a file with the desktop; false when that failed.
  virtual bool ShellOpen(const std::string& path, const std::string& parameters) = 0;
  // The window message boxes belong to (null: none).
  virtual void* ActiveWindow() = 0;
  // Keeps its own reference on `frame_window` if it holds on to it.
  virtual void SetActiveFrame(IDispatch* frame_window) = 0;
  // The reader object, made on first use and kept for the rest of the run.
  virtual IDispatch* Reader() = 0;
  // The folder of the reader's own executable, which `shellopen` paths are relative to.
  virtual std::string ProgramFolder() = 0;

 protected:
  ~IHostFrame() = default;
};

enum ExternalDispatchId : DISPID {
  kExternalActiveFrame = 3000,
  kExternalExit = 3001,
  kExternalExtract = 3002,
  kExternalShellOpen = 3003,
  kExternalNewWindow = 107,
  kExternalReader = 3005,
};

// Lives as long as its view; AddRef and Release do no counting.
class CDocHostUIHandlerDispatch final : public IDispatch {
 public:
  explicit CDocHostUIHandlerDispatch(IHostFrame* frame) : frame_(frame) {}

  HRESULT LECTERN_COM_CALL QueryInterface(REFIID iid, void** object) override;
  ULONG LECTERN_COM_CALL AddRef() override { return 0; }
  ULONG LECTERN_COM_CALL Release() override { return 0; }
  HRESULT LECTERN_COM_CALL GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT LECTERN_COM_CALL GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  // Only the first name counts, compared ignoring case; always S_OK, and no id is written for a
  // name outside the table.
  HRESULT LECTERN_COM_CALL GetIDsOfNames(REFIID iid, OLECHAR** names, UINT count, LCID locale, DISPID* ids) override;
  HRESULT LECTERN_COM_CALL Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                                  EXCEPINFO* exception, UINT* argument_error) override;

  // The members as a page is told of them ahead of its calls.
  static std::vector<ScriptMember> Members();

 private:
  HRESULT Extract(DISPPARAMS* params);
  HRESULT ShellOpen(DISPPARAMS* params);
  IHostFrame* frame_;
};

}  // namespace lectern
