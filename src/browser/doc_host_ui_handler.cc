#include "browser/doc_host_ui_handler.h"

#include <optional>

#include "archive/file_system.h"
#include "platform/message_box.h"
#include "resources/string_table.h"

namespace lectern {
namespace {

struct ExternalName {
  std::string_view name;
  DISPID id;
};
constexpr ExternalName kNames[] = {{"activeFrame", kExternalActiveFrame}, {"exit", kExternalExit},
                                   {"extract", kExternalExtract},         {"shellopen", kExternalShellOpen},
                                   {"newwindow", kExternalNewWindow},     {"reader", kExternalReader}};

// The argument the platform stores at `index` (the last one written first) as text; false when it
// is not a string.
bool StringArgument(DISPPARAMS* params, UINT index, std::string& text) {
  VARIANT value;
  VariantInit(&value);
  if (FAILED(VariantCopyInd(&value, &params->rgvarg[index])) || value.vt != VT_BSTR) {
    VariantClear(&value);
    return false;
  }
  text = WideToUtf8(BstrView(value.bstrVal));
  VariantClear(&value);
  return true;
}

// A `shellopen` file as a path below the program's folder: '\\' separates as '/' does, "." and empty
// components drop out and ".." takes back the one before it. Nullopt for an absolute path, a drive,
// a NUL, a climb above the folder or nothing left at all: page script must not reach past the
// folder the book was installed with.
std::optional<std::string> ProgramRelativePath(std::string_view file) {
  std::string path(file);
  for (char& c : path)
    if (c == '\\') c = '/';
  if (path.empty() || path[0] == '/' || path.find('\0') != std::string::npos) return std::nullopt;
  if (path.size() >= 2 && path[1] == ':') return std::nullopt;
  std::vector<std::string_view> kept;
  std::string_view rest = path;
  while (!rest.empty()) {
    size_t slash = rest.find('/');
    std::string_view component = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (component.empty() || component == ".") continue;
    if (component == "..") {
      if (kept.empty()) return std::nullopt;
      kept.pop_back();
      continue;
    }
    kept.push_back(component);
  }
  if (kept.empty()) return std::nullopt;
  std::string joined;
  for (std::string_view component : kept) {
    if (!joined.empty()) joined.push_back('/');
    joined.append(component);
  }
  return joined;
}

}  // namespace

std::vector<ScriptMember> CDocHostUIHandlerDispatch::Members() {
  return {{"activeFrame", kExternalActiveFrame, ScriptMemberKind::kPropertyGet},
          {"activeFrame", kExternalActiveFrame, ScriptMemberKind::kPropertyPut},
          {"exit", kExternalExit, ScriptMemberKind::kMethod},
          {"extract", kExternalExtract, ScriptMemberKind::kMethod},
          {"shellopen", kExternalShellOpen, ScriptMemberKind::kMethod},
          {"newwindow", kExternalNewWindow, ScriptMemberKind::kMethod},
          {"reader", kExternalReader, ScriptMemberKind::kPropertyGet}};
}

HRESULT CDocHostUIHandlerDispatch::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!(iid == IID_IUnknown) && !(iid == IID_IDispatch)) return E_NOTIMPL;
  *object = static_cast<IDispatch*>(this);
  return S_OK;
}

HRESULT CDocHostUIHandlerDispatch::GetIDsOfNames(REFIID, OLECHAR** names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids || count == 0 || !names[0]) return S_OK;
  std::string name = WideToUtf8(WideStringView(names[0]));
  for (const ExternalName& entry : kNames) {
    if (EqualsIgnoringAsciiCase(name, entry.name)) {
      ids[0] = entry.id;
      break;
    }
  }
  return S_OK;
}

HRESULT CDocHostUIHandlerDispatch::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                          EXCEPINFO*, UINT*) {
  static DISPPARAMS no_arguments{nullptr, nullptr, 0, 0};
  if (!params) params = &no_arguments;
  switch (id) {
    case kExternalActiveFrame:
      if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) && params->cArgs >= 1) {
        VARIANT value;
        VariantInit(&value);
        if (SUCCEEDED(VariantCopyInd(&value, &params->rgvarg[0])) && value.vt == VT_DISPATCH && value.pdispVal)
          frame_->SetActiveFrame(value.pdispVal);
        VariantClear(&value);
      }
      return S_OK;
    case kExternalExit:
      frame_->PostClose();
      return S_OK;
    case kExternalExtract:
      return Extract(params);
    case kExternalShellOpen:
      return ShellOpen(params);
    case kExternalReader: {
      if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
      IDispatch* reader = frame_->Reader();
      if (result && reader) {
        VariantInit(result);
        result->vt = VT_DISPATCH;
        result->pdispVal = reader;
        reader->AddRef();
      }
      return S_OK;
    }
    default:
      return S_OK;
  }
}

HRESULT CDocHostUIHandlerDispatch::Extract(DISPPARAMS* params) {
  if (params->cArgs < 1) return E_FAIL;
  std::string path;
  if (!StringArgument(params, 0, path) || path.empty()) return E_INVALIDARG;
  frame_->ExtractFile(path);
  return S_OK;
}

HRESULT CDocHostUIHandlerDispatch::ShellOpen(DISPPARAMS* params) {
  if (params->cArgs < 1) return E_FAIL;
  std::string file;
  if (!StringArgument(params, 0, file)) return E_INVALIDARG;
  std::optional<std::string> relative = ProgramRelativePath(file);
  if (!relative) {
    ShowMessageBox(frame_->ActiveWindow(), LoadString(kStrInvalidArgument), LoadString(kStrError), kMbIconInformation);
    return E_INVALIDARG;
  }
  std::string parameters;
  if (params->cArgs >= 2 && !StringArgument(params, 1, parameters)) return E_INVALIDARG;
  std::string full = frame_->ProgramFolder();
  if (!full.empty() && full.back() != '/') full.push_back('/');
  full += *relative;
  if (!frame_->ShellOpen(full, parameters)) {
    ShowMessageBox(frame_->ActiveWindow(), FormatString(LoadString(kStrOpenFailed), full), LoadString(kStrError),
                   kMbIconInformation);
  }
  return S_OK;
}

}  // namespace lectern
