// The book's flat settings: key -> value strings, keys case-sensitive in byte order.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace lectern {

class ZPKConf {
 public:
  virtual ~ZPKConf() = default;

  // 0 with the stored value (possibly empty); -1 for an empty key or one not in the map, with
  // `value` emptied.
  int32_t Get(std::string_view key, std::string& value) const;
  // Refills the map from a settings text: tokens split at 0x01 (empty tokens dropped), paired in
  // order as key, value; a lone last key gets an empty value; later duplicates win.
  // 0 when the text held at least one token, else -1.
  int32_t Load(std::string_view text);

  const std::map<std::string, std::string>& map() const { return map_; }
  std::map<std::string, std::string>& map() { return map_; }

 private:
  std::map<std::string, std::string> map_;
};

inline constexpr char kSettingsSeparator = '\x01';

// The settings text for `map`: every key and every value followed by 0x01. Empty keys or values
// would shift the pairing on reading, so they are refused (false).
bool EncodeSettingsText(const std::map<std::string, std::string>& map, std::string& text);

}  // namespace lectern
