#include "shell/ebk_registry.h"

#include <nettle/sha1.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <shlwapi.h>
#endif

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <vector>

#include "platform/registry.h"
#include "platform/user_folders.h"

namespace lectern {
namespace {

constexpr REGSAM kKeyAccess = KEY_READ | KEY_WRITE;
constexpr DWORD kMaxWindowPositionBytes = 512;
constexpr int32_t kDefaultWidth = 640;
constexpr int32_t kDefaultHeight = 480;
// Longer plain identities are hashed too, so the name always fits a file system's limit.
constexpr size_t kMaxPlainNameLength = 128;

ScreenSize DefaultScreenSize() { return {1024, 768}; }

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// atoi's reading, without its undefined overflow.
int32_t ReadDecimal(std::string_view token) {
  size_t i = 0;
  while (i < token.size() && IsSpace(token[i])) ++i;
  bool negative = false;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
  int64_t value = 0;
  const int64_t limit = negative ? -int64_t(std::numeric_limits<int32_t>::min()) : std::numeric_limits<int32_t>::max();
  for (; i < token.size() && IsDigit(token[i]); ++i) {
    value = value * 10 + (token[i] - '0');
    if (value >= limit) {
      value = limit;
      break;
    }
  }
  return int32_t(negative ? -value : value);
}

std::vector<std::string_view> Tokens(std::string_view text, std::string_view delimiters) {
  std::vector<std::string_view> tokens;
  size_t at = 0;
  while (at < text.size()) {
    size_t start = text.find_first_not_of(delimiters, at);
    if (start == std::string_view::npos) break;
    size_t end = text.find_first_of(delimiters, start);
    if (end == std::string_view::npos) end = text.size();
    tokens.push_back(text.substr(start, end - start));
    at = end;
  }
  return tokens;
}

bool IsPlainIdentity(std::string_view identity) {
  if (identity.empty() || identity.size() > kMaxPlainNameLength) return false;
  for (char c : identity) {
    bool hex = IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!hex && c != '{' && c != '}' && c != '-') return false;
  }
  return true;
}

std::string Sha1Hex(std::string_view text) {
  sha1_ctx ctx;
  sha1_init(&ctx);
  sha1_update(&ctx, text.size(), reinterpret_cast<const uint8_t*>(text.data()));
  uint8_t digest[SHA1_DIGEST_SIZE];
  sha1_digest(&ctx, sizeof digest, digest);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t byte : digest) {
    hex.push_back(kHex[byte >> 4]);
    hex.push_back(kHex[byte & 0xF]);
  }
  return hex;
}

#ifdef _WIN32
constexpr char kSeparators[] = "\\/";

// The shell's own joining rule, as every other Windows program reads these paths.
std::string JoinPath(std::string base, std::string_view name) {
  char joined[MAX_PATH] = {};
  if (!::PathCombineA(joined, base.c_str(), std::string(name).c_str())) return base + "\\" + std::string(name);
  return joined;
}
#else
constexpr char kSeparators[] = "/";

std::string JoinPath(std::string base, std::string_view name) {
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (base != "/") base.push_back('/');
  return base + std::string(name);
}
#endif

bool IsFolder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Level by level, private to the user; an existing folder is used as it is.
bool MakeFolderChain(const std::string& folder) {
  if (folder.empty()) return false;
  if (IsFolder(folder)) return true;
  size_t slash = folder.find_last_of(kSeparators);
  // A drive ("c:") is no folder to make.
  bool drive = slash == 2 && folder[1] == ':';
  if (slash != std::string::npos && slash > 0 && !drive && !MakeFolderChain(folder.substr(0, slash))) return false;
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return IsFolder(folder);
}

}  // namespace

bool ParseWindowPosition(std::string_view text, WindowRect* rect) {
  std::vector<std::string_view> tokens = Tokens(text, " ,");
  if (tokens.size() < 4) return false;
  *rect = {ReadDecimal(tokens[0]), ReadDecimal(tokens[1]), ReadDecimal(tokens[2]), ReadDecimal(tokens[3])};
  return true;
}

std::string FormatWindowPosition(const WindowRect& rect) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, "%d,%d,%d,%d", int(rect.left), int(rect.top), int(rect.right),
                int(rect.bottom));
  return buffer;
}

std::string WorkingFolderName(std::string_view book_identity) {
  if (book_identity.empty()) return "no-identity";
  if (IsPlainIdentity(book_identity)) return std::string(book_identity);
  return "id-" + Sha1Hex(book_identity);
}

std::string BookPlaceIdentity(std::string_view guid, std::string_view fallback) {
  return std::string(guid.empty() ? fallback : guid);
}

std::string ProjectPathIdentity(std::string_view project_path) {
  std::error_code error;
  std::filesystem::path path(project_path);
  std::filesystem::path absolute = std::filesystem::weakly_canonical(path, error);
  if (error) absolute = std::filesystem::absolute(path, error);
  return Sha1Hex(absolute.generic_string()).substr(0, 32);
}

EbkRegistry& EbkRegistry::Instance() {
  static EbkRegistry* instance = new EbkRegistry;
  return *instance;
}

EbkRegistry::EbkRegistry(EbkRegistryEnvironment environment) : environment_(std::move(environment)) {
  if (!environment_.screen_size) environment_.screen_size = DefaultScreenSize;
#ifdef _WIN32
  // There the working folders live in the temporary folder, where earlier runs left them.
  if (!environment_.data_folder) environment_.data_folder = TemporaryFolder;
#else
  if (!environment_.data_folder) environment_.data_folder = UserDataFolder;
#endif
  if (!environment_.temp_folder) environment_.temp_folder = TemporaryFolder;
  rect_ = DefaultWindowRect();
}

void EbkRegistry::SetScreenSizeSource(std::function<ScreenSize()> screen_size) {
  environment_.screen_size = screen_size ? std::move(screen_size) : DefaultScreenSize;
}

WindowRect EbkRegistry::DefaultWindowRect() const {
  ScreenSize screen = environment_.screen_size();
  WindowRect rect;
  rect.left = (screen.width - kDefaultWidth) / 2;
  rect.top = (screen.height - kDefaultHeight) / 2;
  rect.right = rect.left + kDefaultWidth;
  rect.bottom = rect.top + kDefaultHeight;
  return rect;
}

bool EbkRegistry::EnsureKey() {
  RegistryKeyHolder key;
  return RegistryCreateKey(HKEY_CURRENT_USER, kLecternKeyPath, REG_OPTION_NON_VOLATILE, kKeyAccess, key.out(),
                           nullptr) == ERROR_SUCCESS;
}

bool EbkRegistry::Initialise(std::string_view guid, std::string_view fallback) {
  book_identity_ = BookPlaceIdentity(guid, fallback);
  RegistryKeyHolder key;
  if (RegistryOpenKey(HKEY_CURRENT_USER, kLecternKeyPath, kKeyAccess, key.out()) != ERROR_SUCCESS) {
    EnsureKey();
    rect_ = DefaultWindowRect();
  } else {
    LoadWindowRect(key.get());
  }
  working_folder_ = DeriveWorkingFolder();
  return true;
}

void EbkRegistry::LoadWindowRect(HKEY key) {
  rect_ = DefaultWindowRect();
  char buffer[kMaxWindowPositionBytes];
  DWORD size = sizeof buffer;
  DWORD type = REG_NONE;
  if (RegistryQueryValue(key, kWindowPositionValue, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
      ERROR_SUCCESS)
    return;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return;
  std::string_view text(buffer, size);
  text = text.substr(0, text.find('\0'));
  WindowRect loaded;
  if (ParseWindowPosition(text, &loaded)) rect_ = loaded;
}

std::string EbkRegistry::DeriveWorkingFolder() const {
  std::string base = environment_.data_folder();
  if (base.empty()) base = environment_.temp_folder();
  if (base.empty()) base = "/tmp";
  return JoinPath(JoinPath(base, "Lectern"), WorkingFolderName(book_identity_));
}

bool EbkRegistry::WorkingFolder(std::string& folder) {
  working_folder_ = DeriveWorkingFolder();
  folder = working_folder_;
  return MakeFolderChain(folder);
}

bool EbkRegistry::WorkingFolderOf(std::string_view guid, std::string_view fallback, std::string& folder) {
  book_identity_ = BookPlaceIdentity(guid, fallback);
  return WorkingFolder(folder);
}

bool EbkRegistry::SaveWindowRect(const WindowRect* rect) {
  if (!rect) return false;
  std::string text = FormatWindowPosition(*rect);
  RegistryKeyHolder key;
  if (RegistryOpenKey(HKEY_CURRENT_USER, kLecternKeyPath, kKeyAccess, key.out()) != ERROR_SUCCESS) return false;
  return RegistrySetValue(key.get(), kWindowPositionValue, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          DWORD(text.size() + 1)) == ERROR_SUCCESS;
}

}  // namespace lectern
