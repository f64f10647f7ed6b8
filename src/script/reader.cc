#include "script/reader.h"

#include <fcntl.h>
#include <nettle/sha1.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "book/book_file_stream.h"
#include "platform/message_box.h"
#include "platform/user_folders.h"
#include "script/menu_obj.h"

namespace lectern {
namespace {

template <HRESULT (CReader::*Member)(VARIANT*, VARIANT*)>
constexpr MemberCall Call = &MemberThunk<CReader, Member>;

constexpr MemberKind kMethod = MemberKind::kMethod;
constexpr MemberKind kGet = MemberKind::kPropertyGet;
constexpr MemberKind kPut = MemberKind::kPropertyPut;

const MemberRow kReaderMembers[] = {
    {OLESTR("visible"), 0xA0000, kGet, VT_BOOL, 0, {}, Call<&CReader::GetVisible>},
    {OLESTR("visible"), 0xA0000, kPut, VT_EMPTY, 1, {VT_BOOL}, Call<&CReader::PutVisible>},
    {OLESTR("startPage"), 0xA0001, kGet, VT_BSTR, 0, {}, Call<&CReader::GetStartPage>},
    {OLESTR("id"), 0xA0002, kGet, VT_BSTR, 0, {}, Call<&CReader::GetId>},
    {OLESTR("title"), 0xA0003, kGet, VT_BSTR, 0, {}, Call<&CReader::GetBookInfo>},
    {OLESTR("author"), 0xA0004, kGet, VT_BSTR, 0, {}, Call<&CReader::GetBookInfo>},
    {OLESTR("homepage"), 0xA0005, kGet, VT_BSTR, 0, {}, Call<&CReader::GetBookInfo>},
    {OLESTR("email"), 0xA0006, kGet, VT_BSTR, 0, {}, Call<&CReader::GetBookInfo>},
    {OLESTR("copyright"), 0xA0007, kGet, VT_BSTR, 0, {}, Call<&CReader::GetBookInfo>},
    {OLESTR("otherinfo"), 0xA0008, kGet, VT_BSTR, 0, {}, Call<&CReader::GetBookInfo>},
    {OLESTR("tocEnabled"), 0xA0009, kGet, VT_BOOL, 0, {}, Call<&CReader::GetTocEnabled>},
    {OLESTR("registryRoot"), 0xB0000, kGet, VT_BSTR, 0, {}, Call<&CReader::GetRegistryRoot>},
    {OLESTR("showMessage"), 0xF0001, kMethod, VT_EMPTY, 2, {VT_BSTR, VT_BSTR}, Call<&CReader::ShowMessage>},
    {OLESTR("quit"), 0xF0002, kMethod, VT_EMPTY, 0, {}, Call<&CReader::Quit>},
    {OLESTR("getConfig"), 0xF0003, kMethod, VT_BSTR, 1, {VT_BSTR}, Call<&CReader::GetConfig>},
    {OLESTR("getPageURL"), 0xF0004, kMethod, VT_BSTR, 1, {VT_BSTR}, Call<&CReader::GetPageUrl>},
    {OLESTR("createObject"), 0xF0005, kMethod, VT_DISPATCH, 1, {VT_BSTR}, Call<&CReader::CreateObject>},
    {OLESTR("startupSplitter"), 0xF0006, kMethod, VT_I4, 7, {VT_I4, VT_I4, VT_I4, VT_I4, VT_I4, VT_I4, VT_I4},
     Call<&CReader::StartupSplitter>},
    {OLESTR("getMenuObj"), 0xF0007, kMethod, VT_DISPATCH, 0, {}, Call<&CReader::GetMenuObj>},
    {OLESTR("refresh2"), 0xF0009, kMethod, VT_EMPTY, 1, {VT_DISPATCH}, Call<&CReader::Refresh2>},
    {OLESTR("goHome"), 0xF000A, kMethod, VT_EMPTY, 0, {}, Call<&CReader::GoHome>},
    {OLESTR("back"), 0xF000B, kMethod, VT_EMPTY, 0, {}, Call<&CReader::Back>},
    {OLESTR("forward"), 0xF000C, kMethod, VT_EMPTY, 0, {}, Call<&CReader::Forward>},
    {OLESTR("stop"), 0xF000D, kMethod, VT_EMPTY, 0, {}, Call<&CReader::Stop>},
    {OLESTR("showContentsPane"), 0xF000E, kMethod, VT_EMPTY, 0, {}, Call<&CReader::ShowContentsPane>},
    {OLESTR("showBookmarkPane"), 0xF000F, kMethod, VT_EMPTY, 0, {}, Call<&CReader::ShowBookmarkPane>},
    {OLESTR("showSearchPane"), 0xF0010, kMethod, VT_EMPTY, 0, {}, Call<&CReader::ShowSearchPane>},
    {OLESTR("print"), 0xF0011, kMethod, VT_EMPTY, 0, {}, Call<&CReader::Print>},
    {OLESTR("refresh"), 0xF0012, kMethod, VT_EMPTY, 0, {}, Call<&CReader::Refresh>},
    {OLESTR("extract"), 0xF0013, kMethod, VT_BSTR, 2, {VT_BSTR, VT_BOOL}, Call<&CReader::Extract>},
    {OLESTR("set_textsize"), 0xF0014, kMethod, VT_EMPTY, 1, {VT_I4}, Call<&CReader::SetTextSize>},
    {OLESTR("fullscreen"), 0xF0015, kMethod, VT_EMPTY, 0, {}, Call<&CReader::FullScreen>},
    {nullptr, 0, kMethod, VT_EMPTY, 0, {}, nullptr},
};

DispatchTypeInfo& ReaderTypeInfo() {
  static DispatchTypeInfo info(kReaderMembers);
  return info;
}

std::string BstrText(const VARIANT& v) { return WideToUtf8(BstrView(v.bstrVal)); }

// The last element of a stored path, made safe as a file name, or empty when it cannot be.
std::string SafeFileName(std::string_view path) {
  size_t slash = path.find_last_of("/\\");
  std::string name(slash == path.npos ? path : path.substr(slash + 1));
  if (name.empty() || name == "." || name == "..") return {};
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
  return name;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t put = ::write(fd, data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data += put;
    size -= size_t(put);
  }
  return true;
}

}  // namespace

std::string RegistryRootName(std::string_view guid) {
  if (guid.empty()) return {};
  sha1_ctx context;
  sha1_init(&context);
  sha1_update(&context, guid.size(), reinterpret_cast<const uint8_t*>(guid.data()));
  uint8_t digest[SHA1_DIGEST_SIZE];
  sha1_digest(&context, sizeof digest, digest);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t b : digest) {
    hex += kHex[b >> 4];
    hex += kHex[b & 0xF];
  }
  return "clsid\\{" + hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" + hex.substr(16, 4) +
         "-" + hex.substr(20, 12) + "}";
}

std::string ExtractBookFile(IEbkManager* manager, WideStringView path, bool overwrite, const std::string& folder) {
  if (!manager || path.empty()) return {};
  BookFileStream stream(manager);
  if (!stream.Open(path)) return {};
  std::string name = SafeFileName(WideToUtf8(path));
  if (name.empty() || folder.empty()) return {};
  std::string target = folder;
  if (target.back() != '/' && target.back() != kPathSeparator) target += kPathSeparator;
  target += name;

  struct stat existing;
  if (::lstat(target.c_str(), &existing) == 0) {
    // Only a copy of ours is handed out or replaced; whatever else stands there stays untouched.
    if (!IsOwnRegularFile(target)) return {};
    if (!overwrite) return target;
    if (::unlink(target.c_str()) != 0) return {};
  }
  std::vector<uint8_t> bytes(stream.length());
  size_t total = 0;
  while (total < bytes.size()) {
    uint32_t got = stream.Read(bytes.data() + total, uint32_t(bytes.size() - total));
    if (got == 0) break;
    total += got;
  }
  if (total < bytes.size()) return {};
  // A new file only: a link planted under the name is never followed.
  int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return {};
  bool ok = WriteAll(fd, bytes.data(), bytes.size());
  ok = ::close(fd) == 0 && ok;
  if (!ok) {
    ::unlink(target.c_str());
    return {};
  }
  return target;
}

CReader* CReader::Create(IReaderFrame* frame, ListFactory list_factory) {
  return new CReader(frame, std::move(list_factory));
}

CReader::CReader(IReaderFrame* frame, ListFactory list_factory)
    : TableDispatch(ReaderTypeInfo()), link_(std::make_shared<FrameLink>()), list_factory_(std::move(list_factory)) {
  link_->frame = frame;
}

IReaderFrame* CReader::Window() const {
  IReaderFrame* frame = link_->frame;
  return frame && frame->HasMainWindow() ? frame : nullptr;
}

std::string CReader::Setting(std::string_view key) const {
  std::string value;
  if (key.empty() || !link_->frame) return value;
  link_->frame->GetSetting(key, value);
  return value;
}

HRESULT CReader::Command(ReaderCommand command) {
  if (IReaderFrame* frame = Window()) frame->SendCommand(command);
  return S_OK;
}

HRESULT CReader::GetVisible(VARIANT*, VARIANT* result) {
  IReaderFrame* frame = Window();
  SetBoolResult(result, frame && frame->IsMainWindowVisible());
  return S_OK;
}

HRESULT CReader::PutVisible(VARIANT* args, VARIANT*) {
  if (IReaderFrame* frame = Window()) frame->ShowMainWindow(args[0].boolVal != VARIANT_FALSE);
  return S_OK;
}

HRESULT CReader::GetStartPage(VARIANT*, VARIANT* result) {
  IReaderFrame* frame = Window();
  SetBstrResult(result, frame ? frame->HomeUrl() : std::string());
  return S_OK;
}

HRESULT CReader::GetId(VARIANT*, VARIANT* result) {
  SetBstrResult(result, Setting("guid"));
  return S_OK;
}

// The book information properties are declared but carry nothing: an empty string.
HRESULT CReader::GetBookInfo(VARIANT*, VARIANT* result) {
  SetBstrResult(result, "");
  return S_OK;
}

HRESULT CReader::GetTocEnabled(VARIANT*, VARIANT* result) {
  SetBoolResult(result, false);
  return S_OK;
}

HRESULT CReader::GetRegistryRoot(VARIANT*, VARIANT* result) {
  IReaderFrame* frame = link_->frame;
  SetBstrResult(result, RegistryRootName(frame ? frame->PlaceIdentity() : std::string()));
  return S_OK;
}

HRESULT CReader::ShowMessage(VARIANT* args, VARIANT*) {
  if (!args[0].bstrVal) return S_OK;
  std::string text = BstrText(args[0]);
  std::string caption = args[1].bstrVal ? BstrText(args[1]) : std::string(kDefaultMessageCaption);
  const unsigned style = kMbOk | kMbIconInformation;
  if (IReaderFrame* frame = link_->frame) frame->ShowMessage(text, caption, style);
  else ShowMessageBox(nullptr, text, caption, style);
  return S_OK;
}

HRESULT CReader::Quit(VARIANT*, VARIANT*) {
  if (IReaderFrame* frame = Window()) frame->PostClose();
  return S_OK;
}

HRESULT CReader::GetConfig(VARIANT* args, VARIANT* result) {
  SetBstrResult(result, Setting(BstrText(args[0])));
  return S_OK;
}

HRESULT CReader::GetPageUrl(VARIANT*, VARIANT* result) {
  SetBstrResult(result, "");
  return S_OK;
}

HRESULT CReader::CreateObject(VARIANT* args, VARIANT* result) {
  IDispatch* object = nullptr;
  // Only the list object is known by name here: other names would be platform class names.
  if (args[0].bstrVal && BstrText(args[0]) == kListObjectName && list_factory_) object = list_factory_();
  SetDispatchResult(result, object);
  return S_OK;
}

HRESULT CReader::StartupSplitter(VARIANT*, VARIANT* result) {
  SetI4Result(result, 0);
  return S_OK;
}

HRESULT CReader::GetMenuObj(VARIANT*, VARIANT* result) {
  SetDispatchResult(result, CMenuObj::Create(link_));
  return S_OK;
}

HRESULT CReader::Refresh2(VARIANT* args, VARIANT*) {
  if (!args[0].pdispVal) return S_OK;
  if (IReaderFrame* frame = Window()) frame->RefreshViewHosting(args[0].pdispVal);
  return S_OK;
}

HRESULT CReader::GoHome(VARIANT*, VARIANT*) { return Command(ReaderCommand::kHome); }

HRESULT CReader::Back(VARIANT*, VARIANT*) {
  if (IReaderFrame* frame = Window()) frame->GoBack();
  return S_OK;
}

HRESULT CReader::Forward(VARIANT*, VARIANT*) {
  if (IReaderFrame* frame = Window()) frame->GoForward();
  return S_OK;
}

HRESULT CReader::Stop(VARIANT*, VARIANT*) {
  if (IReaderFrame* frame = Window()) frame->StopLoading();
  return S_OK;
}

HRESULT CReader::ShowContentsPane(VARIANT*, VARIANT*) { return Command(ReaderCommand::kContentsPane); }
HRESULT CReader::ShowBookmarkPane(VARIANT*, VARIANT*) { return Command(ReaderCommand::kBookmarksPane); }
HRESULT CReader::ShowSearchPane(VARIANT*, VARIANT*) { return Command(ReaderCommand::kSearchPane); }
HRESULT CReader::Print(VARIANT*, VARIANT*) { return Command(ReaderCommand::kPrint); }
HRESULT CReader::FullScreen(VARIANT*, VARIANT*) { return Command(ReaderCommand::kFullScreen); }

HRESULT CReader::Refresh(VARIANT*, VARIANT*) {
  if (IReaderFrame* frame = Window()) frame->Refresh();
  return S_OK;
}

HRESULT CReader::Extract(VARIANT* args, VARIANT* result) {
  IReaderFrame* frame = link_->frame;
  IEbkManager* manager = frame ? frame->BookManager() : nullptr;
  SetBstrResult(result, ExtractBookFile(manager, BstrView(args[0].bstrVal), args[1].boolVal != VARIANT_FALSE,
                                        PrivateFilesFolder()));
  return S_OK;
}

HRESULT CReader::SetTextSize(VARIANT* args, VARIANT*) {
  if (IReaderFrame* frame = Window()) frame->SetTextSize(args[0].lVal);
  return S_OK;
}

}  // namespace lectern
