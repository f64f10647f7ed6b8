#include "platform/text_encoding.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/com.h"

namespace lectern {
namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

std::string Folded(std::string_view name) {
  std::string out(name);
  for (char& c : out) c = Lower(c);
  return out;
}

// The multi-byte Unicode forms, read here so that both platforms agree on them.
enum class UnicodeForm { kNone, kUtf8, kUtf16Le, kUtf16Be, kUtf32Le, kUtf32Be };

UnicodeForm UnicodeFormOf(std::string_view charset) {
  std::string name = Folded(charset);
  if (name == "utf-8" || name == "utf8") return UnicodeForm::kUtf8;
  // Without a byte order in the name, the order of the platform the text was written on is the
  // usual guess; callers that saw a byte-order mark name the order.
  if (name == "utf-16le" || name == "utf-16" || name == "ucs-2" || name == "ucs-2le" || name == "unicode")
    return UnicodeForm::kUtf16Le;
  if (name == "utf-16be" || name == "ucs-2be") return UnicodeForm::kUtf16Be;
  if (name == "utf-32le" || name == "utf-32" || name == "ucs-4" || name == "ucs-4le") return UnicodeForm::kUtf32Le;
  if (name == "utf-32be" || name == "ucs-4be") return UnicodeForm::kUtf32Be;
  return UnicodeForm::kNone;
}

// Lone surrogates and a cut-off last unit become U+FFFD (WideToUtf8 does the pairing).
void DecodeUnicode(std::string_view bytes, UnicodeForm form, std::string& out) {
  const bool wide32 = form == UnicodeForm::kUtf32Le || form == UnicodeForm::kUtf32Be;
  const bool big = form == UnicodeForm::kUtf16Be || form == UnicodeForm::kUtf32Be;
  const size_t unit = wide32 ? 4 : 2;
  auto byte = [&](size_t i) { return uint32_t(uint8_t(bytes[i])); };
  WideString units;
  units.reserve(bytes.size() / unit);
  size_t i = 0;
  for (; i + unit <= bytes.size(); i += unit) {
    uint32_t v = 0;
    for (size_t k = 0; k < unit; ++k) v |= byte(i + k) << (8 * (big ? unit - 1 - k : k));
    if (!wide32) {
      units.push_back(OLECHAR(v));
    } else if (v >= 0x10000 && v <= 0x10FFFF) {
      units.push_back(OLECHAR(0xD800 + ((v - 0x10000) >> 10)));
      units.push_back(OLECHAR(0xDC00 + ((v - 0x10000) & 0x3FF)));
    } else {
      units.push_back(OLECHAR(v <= 0xFFFF ? v : 0xFFFD));
    }
  }
  out = WideToUtf8(units);
  if (i < bytes.size()) out += kReplacementUtf8;
}

// Well-formed UTF-8 passes as it is; anything else becomes U+FFFD byte by byte.
void RepairUtf8(std::string_view bytes, std::string& out) {
  if (IsValidUtf8(bytes)) {
    out.assign(bytes);
    return;
  }
  out = WideToUtf8(Utf8ToWide(bytes));
}

#ifdef _WIN32

struct CodePageName {
  const char* name;
  UINT code_page;
};

// Names documents use for the system's code pages; "cpNNN", "windows-NNN" and "ibmNNN" name any.
constexpr CodePageName kCodePages[] = {
    {"us-ascii", 20127},     {"ascii", 20127},        {"iso-8859-1", 28591},   {"latin1", 28591},
    {"iso-8859-2", 28592},   {"latin2", 28592},       {"iso-8859-3", 28593},   {"iso-8859-4", 28594},
    {"iso-8859-5", 28595},   {"iso-8859-6", 28596},   {"iso-8859-7", 28597},   {"iso-8859-8", 28598},
    {"iso-8859-9", 28599},   {"latin5", 28599},       {"iso-8859-13", 28603},  {"iso-8859-15", 28605},
    {"latin9", 28605},       {"koi8-r", 20866},       {"koi8-u", 21866},       {"shift_jis", 932},
    {"shift-jis", 932},      {"sjis", 932},           {"windows-31j", 932},    {"ms_kanji", 932},
    {"euc-jp", 20932},       {"iso-2022-jp", 50220},  {"gbk", 936},            {"gb2312", 936},
    {"gb_2312-80", 936},     {"gb18030", 54936},      {"big5", 950},           {"euc-kr", 949},
    {"ks_c_5601-1987", 949}, {"macintosh", 10000},    {"utf-7", 65000},        {"tis-620", 874},
};

UINT CodePageOf(std::string_view charset) {
  std::string name = Folded(charset);
  for (const CodePageName& entry : kCodePages)
    if (name == entry.name) return entry.code_page;
  for (std::string_view prefix : {"windows-", "cp", "ibm", "x-cp"}) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    UINT number = 0;
    for (size_t i = prefix.size(); i < name.size(); ++i) {
      if (name[i] < '0' || name[i] > '9' || number > 100000) return 0;
      number = number * 10 + UINT(name[i] - '0');
    }
    return number;
  }
  return 0;
}

bool ConvertWithSystem(std::string_view bytes, std::string_view charset, std::string& out) {
  UINT code_page = CodePageOf(charset);
  if (code_page == 0 || !::IsValidCodePage(code_page)) return false;
  if (bytes.empty()) return true;
  // The system replaces what the code page does not define with U+FFFD (or its own default).
  int length = ::MultiByteToWideChar(code_page, 0, bytes.data(), int(bytes.size()), nullptr, 0);
  if (length <= 0) return false;
  WideString wide(size_t(length), OLECHAR(0));
  ::MultiByteToWideChar(code_page, 0, bytes.data(), int(bytes.size()), wide.data(), length);
  out = WideToUtf8(wide);
  return true;
}

#else

// The converters a thread has opened, kept for its later texts: opening one costs more than
// converting a page.
class ConverterCache {
 public:
  ~ConverterCache() {
    for (auto& entry : entries_) iconv_close(entry.second);
  }
  iconv_t Get(std::string_view charset) {
    for (auto& entry : entries_)
      if (entry.first == charset) return entry.second;
    std::string name(charset);
    iconv_t cd = iconv_open("UTF-8", name.c_str());
    if (cd == iconv_t(-1)) return cd;
    entries_.emplace_back(std::move(name), cd);
    return cd;
  }

 private:
  std::vector<std::pair<std::string, iconv_t>> entries_;
};

bool ConvertWithSystem(std::string_view bytes, std::string_view charset, std::string& out) {
  thread_local ConverterCache cache;
  iconv_t cd = cache.Get(charset);
  if (cd == iconv_t(-1)) return false;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);

  out.resize(bytes.size() * 2 + 16);
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  size_t produced = 0;
  while (in_left > 0) {
    char* o = out.data() + produced;
    size_t o_left = out.size() - produced;
    size_t rc = iconv(cd, &in, &in_left, &o, &o_left);
    produced = out.size() - o_left;
    if (rc != size_t(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    // EILSEQ or a sequence cut off by the end: mark it and go on after its first byte.
    if (out.size() - produced < kReplacementUtf8.size()) out.resize(out.size() * 2);
    std::memcpy(out.data() + produced, kReplacementUtf8.data(), kReplacementUtf8.size());
    produced += kReplacementUtf8.size();
    ++in;
    --in_left;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  out.resize(produced);
  return true;
}

#endif

}  // namespace

size_t DecodeUtf8Sequence(const char* p, const char* end, uint32_t& cp) {
  if (p >= end) return 0;
  auto b = [&](size_t i) { return uint8_t(p[i]); };
  uint8_t lead = b(0);
  if (lead < 0x80) {
    cp = lead;
    return 1;
  }
  size_t length;
  uint32_t min;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, min = 0x80, cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, min = 0x800, cp = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, min = 0x10000, cp = lead & 0x07;
  } else {
    return 0;
  }
  if (size_t(end - p) < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((b(i) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

bool IsValidUtf8(std::string_view text) {
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    if (uint8_t(*p) < 0x80) {
      ++p;
      continue;
    }
    uint32_t cp;
    size_t length = DecodeUtf8Sequence(p, end, cp);
    if (length == 0) return false;
    p += length;
  }
  return true;
}

bool ConvertToUtf8(std::string_view bytes, std::string_view charset, std::string& out) {
  out.clear();
  switch (UnicodeFormOf(charset)) {
    case UnicodeForm::kUtf8:
      RepairUtf8(bytes, out);
      return true;
    case UnicodeForm::kNone:
      break;
    case UnicodeForm::kUtf16Le:
    case UnicodeForm::kUtf16Be:
    case UnicodeForm::kUtf32Le:
    case UnicodeForm::kUtf32Be:
      DecodeUnicode(bytes, UnicodeFormOf(charset), out);
      return true;
  }
  if (charset.empty() || !ConvertWithSystem(bytes, charset, out)) {
    out.clear();
    return false;
  }
  return true;
}

}  // namespace lectern
