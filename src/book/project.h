// A book project file (".bpj"): XML whose root element holds a "config" element with the book's
// settings sources. Preview Mode reads it in place of a compiled book; the compiler turns it
// into one.
#pragma once

#include <memory>
#include <string>

#include "book/book_settings.h"
#include "book/xml/node.h"

namespace lectern {

class Project {
 public:
  // False when the file cannot be read, is not well-formed XML, or has no "config" element; the
  // error then names the file and the fault (with the line and column of a syntax error).
  bool Load(const std::string& path);
  // The same from text already in memory; `path` only names the file in errors and anchors folders.
  bool LoadText(std::string_view text, const std::string& path);

  const ProjectSettings& settings() const { return settings_; }
  // The parsed project, whose root element holds "config" (and the contents tree under "toc").
  const AdvXMLParser::Document* document() const { return document_.get(); }
  const std::string& error() const { return error_; }
  const std::string& path() const { return path_; }
  // The folder that holds the project file.
  std::string ProjectFolder() const;
  // The book's folder on disk: the "ebook_directory" setting, relative names taken from the
  // project's folder; the project's folder when the setting is empty.
  std::string BookFolder() const;

 private:
  std::string path_;
  std::unique_ptr<AdvXMLParser::Document> document_;
  ProjectSettings settings_;
  std::string error_;
};

}  // namespace lectern
