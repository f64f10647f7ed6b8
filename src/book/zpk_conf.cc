#include "book/zpk_conf.h"

#include <vector>

namespace lectern {

int32_t ZPKConf::Get(std::string_view key, std::string& value) const {
  value.clear();
  if (key.empty()) return -1;
  auto it = map_.find(std::string(key));
  if (it == map_.end()) return -1;
  value = it->second;
  return 0;
}

int32_t ZPKConf::Load(std::string_view text) {
  map_.clear();
  std::vector<std::string_view> tokens;
  size_t i = 0;
  while (i < text.size()) {
    size_t next = text.find(kSettingsSeparator, i);
    if (next == std::string_view::npos) next = text.size();
    if (next > i) tokens.push_back(text.substr(i, next - i));
    i = next + 1;
  }
  for (size_t k = 0; k < tokens.size(); k += 2) {
    std::string value = k + 1 < tokens.size() ? std::string(tokens[k + 1]) : std::string();
    map_[std::string(tokens[k])] = std::move(value);
  }
  return tokens.empty() ? -1 : 0;
}

bool EncodeSettingsText(const std::map<std::string, std::string>& map, std::string& text) {
  text.clear();
  for (const auto& [key, value] : map) {
    if (key.empty() || value.empty()) return false;
    if (key.find(kSettingsSeparator) != std::string::npos || value.find(kSettingsSeparator) != std::string::npos)
      return false;
    text += key;
    text += kSettingsSeparator;
    text += value;
    text += kSettingsSeparator;
  }
  return true;
}

}  // namespace lectern
