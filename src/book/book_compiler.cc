#include "book/book_compiler.h"

#include <sys/stat.h>

#include <vector>

#include "book/xml/node.h"

namespace lectern {
namespace {

using AdvXMLParser::Element;

bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string FileNameOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A book path as the project writes it, as a file under the book folder; no query or fragment.
std::string DiskPathOf(const std::string& folder, std::string book_path) {
  size_t cut = book_path.find_first_of("?#");
  if (cut != std::string::npos) book_path.resize(cut);
  for (char& c : book_path)
    if (c == '\\') c = '/';
  while (!book_path.empty() && book_path[0] == '/') book_path.erase(0, 1);
  return folder + "/" + book_path;
}

const Element* ContentsTree(const Project& project) {
  if (!project.document()) return nullptr;
  for (const Element* root : project.document()->GetElements()) return root->FindElement("toc");
  return nullptr;
}

// Every page named by the contents tree, walked without recursion.
std::vector<std::string> ContentsPages(const Element& toc) {
  std::vector<std::string> pages;
  std::vector<const Element*> pending = {&toc};
  while (!pending.empty()) {
    const Element* e = pending.back();
    pending.pop_back();
    if (e != &toc) {
      std::string url = e->FindAttribute("url").GetText();
      if (!url.empty() && !LooksLikeUrl(url)) pages.push_back(url);
    }
    std::vector<const Element*> children = e->GetElements();
    for (auto it = children.rbegin(); it != children.rend(); ++it) pending.push_back(*it);
  }
  return pages;
}

}  // namespace

bool ProjectWantsExecutable(const Project& project) {
  std::string value = project.settings().CompilerValue("self_executable");
  return value == "yes" || value == "true";
}

std::string ProjectBookPath(const Project& project, bool executable) {
  std::string folder = project.settings().CompilerValue("target_directory");
  for (char& c : folder)
    if (c == '\\') c = '/';
  if (folder.empty()) folder = project.ProjectFolder();
  else if (folder[0] != '/') folder = project.ProjectFolder() + "/" + folder;
  std::string name = project.settings().CompilerValue("ebk_filename");
  if (name.empty()) {
    name = FileNameOf(project.path());
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    if (!executable) name += ".ebk";
  }
  return folder + "/" + FileNameOf(name);
}

std::string CompiledConfigDocument(const Project& project) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<book>";
  if (const Element* toc = ContentsTree(project)) toc->Generate(out);
  out += "</book>\n";
  return out;
}

CompileResult CompileProject(const Project& project, const CompileOptions& options) {
  CompileResult result;
  auto fail = [&](std::string message) {
    result.error = project.path() + ": " + std::move(message);
    return result;
  };
  std::string book_folder = project.BookFolder();
  if (!IsFolder(book_folder)) return fail("ebook_directory: " + book_folder + " is not a folder");

  // Every book file a setting names must be in the book, or the reader would show a broken page.
  const ProjectSettings& settings = project.settings();
  struct Named {
    const char* key;
    const char* element;
  };
  const Named named[] = {{"start_page", "start_page"},         {"splash_image", "splash_image"},
                         {"logo_image", "logo_image"},         {"about_dlg_contentfile", "about_dialog content_file"},
                         {"default_about_dialog_background_image", "about_dialog defdlg_background_image"}};
  for (const Named& n : named) {
    std::string value = settings.Answer(n.key).value_or("");
    if (n.key == std::string_view("start_page") && value.empty()) value = "index.htm";
    if (value.empty() || LooksLikeUrl(value)) continue;
    if (!IsFile(DiskPathOf(book_folder, value)))
      return fail(std::string(n.element) + ": " + value + " is not in " + book_folder);
  }
  if (const Element* toc = ContentsTree(project)) {
    for (const std::string& page : ContentsPages(*toc))
      if (!IsFile(DiskPathOf(book_folder, page))) return fail("toc: " + page + " is not in " + book_folder);
  }

  bool executable = options.force_executable || ProjectWantsExecutable(project);
  if (executable && options.reader_executable.empty())
    return fail("self_executable: no reader executable to append the book to");
  result.book_path = options.output_path.empty() ? ProjectBookPath(project, executable) : options.output_path;

  ZpkWriterOptions writer_options = options.writer;
  writer_options.compress_level =
      settings.CompilerValue("compress_option") == "better ratio" ? LzoCompressor::kLevelBest : LzoCompressor::kLevelFast;
  ZpkWriter writer;
  if (!writer.Begin(result.book_path, executable ? options.reader_executable : "", writer_options))
    return fail(writer.error());
  result.packed = PackFolder(book_folder, writer, options.pack);
  if (!result.packed.ok) return fail(result.packed.error);
  writer.SetConfigDocument(CompiledConfigDocument(project));
  if (!writer.SetSettings(settings.ToArchiveSettings()) || !writer.Finish()) return fail(writer.error());
  result.ok = true;
  return result;
}

}  // namespace lectern
