// The vocabulary of book settings, their value forms, and the one lookup that answers them from
// the open archive (archive mode) or from a project file (Preview Mode).
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "book/zpk_conf.h"

namespace lectern {

// A flag is on only when its value is exactly "true".
inline bool IsSettingOn(std::string_view value) { return value == "true"; }
// Leading white space, an optional sign and the leading digits; no digits read as 0. Values beyond
// the 32-bit range saturate instead of wrapping.
int32_t ParseSettingInteger(std::string_view value);

// True for text that already is a URL: a scheme of two or more letters, then ':'. One letter
// before the colon is a drive, not a scheme.
bool LooksLikeUrl(std::string_view text);

enum class SettingForm { kText, kFlag, kInteger, kChoice };

// Where a project file keeps one setting: an element of "config", either its text or one of its
// attributes. A flag source is on when it equals `on_word` exactly.
struct SettingSource {
  std::string_view key;
  SettingForm form;
  std::string_view element;
  std::string_view attribute;  // empty: the element's text
  std::string_view on_word;    // flags only
};

// Every key a project can set, in table order.
std::span<const SettingSource> SettingSources();
// The source for a key, ignoring ASCII case; null for keys the vocabulary lacks.
const SettingSource* FindSettingSource(std::string_view key);

// Whether a compiled book carries `key` (exact spelling, as archive mode reads it): the vocabulary
// less the Preview-only folder and the second spelling of the context-menu flag.
bool IsArchiveSettingKey(std::string_view key);

// One child element of a project's "config" element, reduced to what the settings read.
struct ProjectElement {
  std::string name;
  std::string text;  // as GetText gives it
  std::vector<std::pair<std::string, std::string>> attributes;
};

// The settings of a project file, answered in the archive's value forms.
class ProjectSettings {
 public:
  // Takes the children of "config"; the first element of each name counts.
  void Load(std::span<const ProjectElement> elements);
  // Preview Mode's answer for `key` (ASCII case ignored): texts as written, flags "true"/"false",
  // integers in decimal; nullopt for keys outside the vocabulary.
  std::optional<std::string> Answer(std::string_view key) const;
  // The settings map a compiled book carries: every key with a non-empty answer. Empty values are
  // left out, since the settings text cannot hold them.
  std::map<std::string, std::string> ToArchiveSettings() const;

  // Elements that serve the book compiler only; empty when absent.
  std::string CompilerValue(std::string_view element) const;

 private:
  const ProjectElement* FindElement(std::string_view name) const;
  std::vector<ProjectElement> elements_;
};

// The one lookup every layer reads settings through. The window layer makes one per run, fills it
// with the book or the project, and publishes it.
class SettingsLookup {
 public:
  void UseArchive(const ZPKConf* settings);
  void UseProject(const ProjectSettings* project);

  // Archive mode: the exact key in the archive's map. Preview Mode: the vocabulary, case ignored.
  // True when `value` is non-empty.
  bool GetSetting(std::string_view key, std::string& value) const;
  bool preview_mode() const { return project_ != nullptr; }

 private:
  mutable std::mutex lock_;
  const ZPKConf* archive_ = nullptr;
  const ProjectSettings* project_ = nullptr;
};

// The published lookup (null withdraws it) and the process-wide GetSetting over it; with nothing
// published every key reads as empty.
void PublishSettingsLookup(const SettingsLookup* lookup);
bool GetSetting(std::string_view key, std::string& value);

}  // namespace lectern
