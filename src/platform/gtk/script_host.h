// The window side of `window.external` for WebKitGTK. Page script runs in WebKit's web processes;
// our extension there (web_extension/) connects back over a Unix socket that this host listens
// on, and the host answers its requests on the GTK main loop, so a call may show a modal dialog
// (a nested main loop) while the page's script waits for its answer.
#pragma once

#include <webkit2/webkit2.h>

#include <memory>
#include <string>

#include "browser/script_channel.h"

namespace lectern {

class ScriptHost {
 public:
  // Prepares `context` for our extension: its folder, the socket it connects to, and (when the
  // context sandboxes its web processes) the paths the sandbox must show. Must run before the
  // context starts its first web process. Null with `*error` when the socket cannot be made.
  // Only the book's own documents get `window.external`: pages of the reader's scheme, and in
  // Preview Mode the files under `book_folder` (absolute; empty for a compiled book).
  static std::unique_ptr<ScriptHost> Create(WebKitWebContext* context, const std::string& extension_directory,
                                            std::string* error, const std::string& book_folder = std::string());
  ~ScriptHost();
  ScriptHost(const ScriptHost&) = delete;
  ScriptHost& operator=(const ScriptHost&) = delete;

  // `external` answers `window.external` for every page that `view` shows, until Detach or
  // until the view is finalized.
  void Attach(WebKitWebView* view, std::shared_ptr<ScriptEndpoint> external);
  void Detach(WebKitWebView* view);

  // Web processes connected now, and the objects that they hold between them.
  size_t connection_count() const;
  size_t live_object_count() const;
  const std::string& socket_path() const;

  struct State;

 private:
  explicit ScriptHost(std::shared_ptr<State> state) : state_(std::move(state)) {}
  std::shared_ptr<State> state_;
};

// The folder that holds the extension: the build folder's copy for a program that runs from the
// build folder, the installed copy otherwise.
std::string WebExtensionDirectory();

}  // namespace lectern
