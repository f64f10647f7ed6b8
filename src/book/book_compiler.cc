#include "book/book_compiler.h"

#include <sys/stat.h>

#include <vector>

#include "archive/book_identity.h"
#include "book/xml/node.h"

namespace lectern {
namespace {

using AdvXMLParser::Element;

bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FileNameOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether the book will hold the page a project names; a query or fragment is no part of the file.
bool BookHasPage(const std::string& folder, std::string book_path) {
  size_t cut = book_path.find_first_of("?#");
  if (cut != std::string::npos) book_path.resize(cut);
  return !FindFileIgnoringCase(folder, book_path).empty();
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
    if (!BookHasPage(book_folder, value))
      return fail(std::string(n.element) + ": " + value + " is not in " + book_folder);
  }
  if (const Element* toc = ContentsTree(project)) {
    for (const std::string& page : ContentsPages(*toc))
      if (!BookHasPage(book_folder, page)) return fail("toc: " + page + " is not in " + book_folder);
  }

  bool executable = options.force_executable || ProjectWantsExecutable(project);
  if (executable && options.reader_executable.empty())
    return fail("self_executable: no reader executable to append the book to");
  result.book_path = options.output_path.empty() ? ProjectBookPath(project, executable) : options.output_path;

  ZpkWriterOptions writer_options = options.writer;
  std::string compress_option = settings.CompilerValue("compress_option");
  if (!compress_option.empty())
    writer_options.compress_level = compress_option == "better ratio" ? LzoCompressor::kLevelBest : LzoCompressor::kLevelFast;
  // Chosen here, not by the writer, so that a project without a guid can carry it as one.
  if (writer_options.identity == BookIdentity{}) writer_options.identity = RandomBookIdentity();
  result.settings = settings.ToArchiveSettings();
  if (result.settings.count("guid") == 0) {
    result.settings["guid"] = IdentityHex(writer_options.identity);
    result.guid_from_identity = true;
  }
  ZpkWriter writer;
  if (!writer.Begin(result.book_path, executable ? options.reader_executable : "", writer_options))
    return fail(writer.error());
  result.packed = PackFolder(book_folder, writer, options.pack);
  if (!result.packed.ok) return fail(result.packed.error);
  writer.SetConfigDocument(CompiledConfigDocument(project));
  if (!writer.SetSettings(result.settings) || !writer.Finish()) return fail(writer.error());
  result.ok = true;
  return result;
}

}  // namespace lectern
