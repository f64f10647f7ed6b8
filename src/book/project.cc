#include "book/project.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include "book/xml/parse_xml.h"

namespace lectern {

bool Project::Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    path_ = path;
    error_ = path + ": cannot be read";
    return false;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return LoadText(text, path);
}

bool Project::LoadText(std::string_view text, const std::string& path) {
  path_ = path;
  error_.clear();
  document_.reset();
  settings_.Load({});
  XmlParseResult parsed = ParseXml(text);
  if (!parsed.ok()) {
    std::ostringstream message;
    message << path << ":" << parsed.line << ":" << parsed.column << ": " << parsed.description;
    error_ = message.str();
    return false;
  }
  const AdvXMLParser::Element* root = nullptr;
  for (const AdvXMLParser::Element* e : parsed.document->GetElements()) {
    root = e;
    break;
  }
  const AdvXMLParser::Element* config = root ? root->FindElement("config") : nullptr;
  if (!config) {
    error_ = path + ": the root element has no \"config\" element";
    return false;
  }
  std::vector<ProjectElement> elements;
  for (const AdvXMLParser::Element* e : config->GetElements()) {
    ProjectElement element{std::string(e->GetName()), e->GetText(), {}};
    for (const auto& attribute : e->attributes())
      element.attributes.emplace_back(std::string(attribute->GetName()), attribute->GetText());
    elements.push_back(std::move(element));
  }
  settings_.Load(elements);
  document_ = std::move(parsed.document);
  return true;
}

std::string Project::ProjectFolder() const {
  size_t slash = path_.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path_.substr(0, slash);
}

std::string Project::BookFolder() const {
  std::string folder = settings_.Answer("bookdir").value_or("");
  for (char& c : folder)
    if (c == '\\') c = '/';
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.empty()) return ProjectFolder();
  if (folder[0] == '/') return folder;
  return ProjectFolder() + "/" + folder;
}

}  // namespace lectern
