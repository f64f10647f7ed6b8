#include "platform/gtk/script_host.h"

#include <errno.h>
#include <glib-unix.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

namespace lectern {

namespace {

struct Connection {
  Connection(UniqueFd socket_fd, ScriptObjectRegistry::ExternalLookup external)
      : fd(std::move(socket_fd)), server(std::move(external)) {}
  UniqueFd fd;
  ScriptChannelServer server;
  guint source = 0;
  bool finished = false;
};

struct AttachedView {
  WebKitWebView* view;
  std::shared_ptr<ScriptEndpoint> external;
};

}  // namespace

struct ScriptHost::State : std::enable_shared_from_this<ScriptHost::State> {
  ~State();

  std::shared_ptr<ScriptEndpoint> ExternalFor(uint64_t page_id) const {
    for (const auto& attached : views)
      if (webkit_web_view_get_page_id(attached.view) == page_id) return attached.external;
    return nullptr;
  }
  void Accept();
  void Forget(WebKitWebView* view);

  WebKitWebContext* context = nullptr;
  gulong initialize_handler = 0;
  std::string extension_directory;
  std::string book_folder;
  std::string socket_directory;
  std::string socket_path;
  UniqueFd listener;
  guint listener_source = 0;
  std::vector<std::shared_ptr<Connection>> connections;
  std::vector<AttachedView> views;
};

namespace {

void OnViewFinalized(gpointer data, GObject* view) {
  static_cast<ScriptHost::State*>(data)->Forget(WEBKIT_WEB_VIEW(view));
}

void OnInitializeWebExtensions(WebKitWebContext* context, gpointer data) {
  auto* state = static_cast<ScriptHost::State*>(data);
  webkit_web_context_set_web_extensions_directory(context, state->extension_directory.c_str());
  webkit_web_context_set_web_extensions_initialization_user_data(
      context,
      g_variant_new("(uss)", kScriptChannelVersion, state->socket_path.c_str(), state->book_folder.c_str()));
}

gboolean OnListenerReady(gint, GIOCondition, gpointer data) {
  static_cast<ScriptHost::State*>(data)->Accept();
  return G_SOURCE_CONTINUE;
}

struct ConnectionSource {
  std::shared_ptr<Connection> connection;
  std::weak_ptr<ScriptHost::State> state;
};

void DeleteConnectionSource(gpointer data) { delete static_cast<ConnectionSource*>(data); }

gboolean OnConnectionReady(gint, GIOCondition, gpointer data) {
  auto* source = static_cast<ConnectionSource*>(data);
  // Held here: a call may run a nested main loop in which the host lets go of the connection.
  std::shared_ptr<Connection> connection = source->connection;
  if (connection->finished) return G_SOURCE_REMOVE;
  ChannelStatus status = connection->server.ServeReadable(connection->fd.get());
  if (status == ChannelStatus::kWouldBlock && !connection->finished) return G_SOURCE_CONTINUE;
  if (status != ChannelStatus::kClosed && status != ChannelStatus::kWouldBlock)
    g_warning("lectern: script channel dropped: %s", ChannelStatusName(status));
  connection->finished = true;
  connection->source = 0;
  if (auto state = source->state.lock()) std::erase(state->connections, connection);
  return G_SOURCE_REMOVE;
}

bool SamePeerUser(int fd) {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 && credentials.uid == getuid();
}

}  // namespace

void ScriptHost::State::Accept() {
  for (;;) {
    UniqueFd fd(accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!fd) return;  // EAGAIN, or a peer that left already
    // The folder is private already; this also keeps out anything that found the path some other way.
    if (!SamePeerUser(fd.get())) continue;
    std::weak_ptr<State> weak = weak_from_this();
    auto connection = std::make_shared<Connection>(std::move(fd), [weak](uint64_t page_id) {
      auto state = weak.lock();
      return state ? state->ExternalFor(page_id) : nullptr;
    });
    connection->source = g_unix_fd_add_full(G_PRIORITY_DEFAULT, connection->fd.get(),
                                             GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), OnConnectionReady,
                                             new ConnectionSource{connection, weak}, DeleteConnectionSource);
    connections.push_back(std::move(connection));
  }
}

void ScriptHost::State::Forget(WebKitWebView* view) {
  std::erase_if(views, [view](const AttachedView& attached) { return attached.view == view; });
}

ScriptHost::State::~State() {
  for (auto& attached : views) g_object_weak_unref(G_OBJECT(attached.view), OnViewFinalized, this);
  for (auto& connection : connections) {
    connection->finished = true;
    if (connection->source) g_source_remove(connection->source);
  }
  if (listener_source) g_source_remove(listener_source);
  if (initialize_handler) g_signal_handler_disconnect(context, initialize_handler);
  if (context) g_object_unref(context);
  listener.reset();
  if (!socket_path.empty()) unlink(socket_path.c_str());
  if (!socket_directory.empty()) rmdir(socket_directory.c_str());
}

std::unique_ptr<ScriptHost> ScriptHost::Create(WebKitWebContext* context, const std::string& extension_directory,
                                               std::string* error, const std::string& book_folder) {
  auto state = std::make_shared<State>();
  state->context = WEBKIT_WEB_CONTEXT(g_object_ref(context));
  state->extension_directory = extension_directory;
  state->book_folder = book_folder;

  // A private folder (mode 0700) keeps other users from the socket. The runtime folder first: it
  // is per user and cleared at log-out; the temporary folder when the path would be too long.
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  for (const char* base : {g_get_user_runtime_dir(), g_get_tmp_dir()}) {
    std::string pattern = std::string(base) + "/lectern-script-XXXXXX";
    if (pattern.size() + 8 >= sizeof address.sun_path) continue;
    if (!mkdtemp(pattern.data())) continue;
    state->socket_directory = pattern;
    break;
  }
  if (state->socket_directory.empty()) {
    *error = std::string("cannot make a folder for the script socket: ") + std::strerror(errno);
    return nullptr;
  }
  state->socket_path = state->socket_directory + "/channel";
  std::strcpy(address.sun_path, state->socket_path.c_str());
  state->listener.reset(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!state->listener || bind(state->listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(state->listener.get(), 16) != 0) {
    *error = "cannot listen on " + state->socket_path + ": " + std::strerror(errno);
    return nullptr;
  }
  state->listener_source = g_unix_fd_add(state->listener.get(), G_IO_IN, OnListenerReady, state.get());

  if (webkit_web_context_get_sandbox_enabled(context)) {
    // The sandbox shows web processes a private /tmp and no network namespace, so the socket's
    // folder (and an extension folder outside the system's) must be let in explicitly.
    webkit_web_context_add_path_to_sandbox(context, state->socket_directory.c_str(), FALSE);
    webkit_web_context_add_path_to_sandbox(context, extension_directory.c_str(), TRUE);
  }
  state->initialize_handler =
      g_signal_connect(context, "initialize-web-extensions", G_CALLBACK(OnInitializeWebExtensions), state.get());
  return std::unique_ptr<ScriptHost>(new ScriptHost(std::move(state)));
}

ScriptHost::~ScriptHost() = default;

void ScriptHost::Attach(WebKitWebView* view, std::shared_ptr<ScriptEndpoint> external) {
  for (auto& attached : state_->views) {
    if (attached.view == view) {
      attached.external = std::move(external);
      return;
    }
  }
  g_object_weak_ref(G_OBJECT(view), OnViewFinalized, state_.get());
  state_->views.push_back({view, std::move(external)});
}

void ScriptHost::Detach(WebKitWebView* view) {
  auto& views = state_->views;
  auto it = std::find_if(views.begin(), views.end(), [view](const AttachedView& a) { return a.view == view; });
  if (it == views.end()) return;
  g_object_weak_unref(G_OBJECT(view), OnViewFinalized, state_.get());
  views.erase(it);
}

size_t ScriptHost::connection_count() const { return state_->connections.size(); }

size_t ScriptHost::live_object_count() const {
  size_t count = 0;
  for (const auto& connection : state_->connections) count += connection->server.objects().size();
  return count;
}

const std::string& ScriptHost::socket_path() const { return state_->socket_path; }

std::string WebExtensionDirectory() {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  std::string self = n > 0 ? std::string(exe, size_t(n)) : std::string();
  std::string build = LECTERN_BUILD_DIR "/";
  if (self.compare(0, build.size(), build) == 0) return LECTERN_BUILD_WEB_EXTENSION_DIR;
  return LECTERN_INSTALLED_WEB_EXTENSION_DIR;
}

}  // namespace lectern
