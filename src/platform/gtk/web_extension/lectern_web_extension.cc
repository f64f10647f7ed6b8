// Runs inside WebKit's web process. Replaces `window.external` in every frame, before the page's
// own script runs, with an object built from what the window says its `window.external` has;
// each property read or write and each method call goes to the window over the script channel
// and waits there for the answer, so script sees plain synchronous results.
#include <sys/socket.h>
#include <sys/un.h>
#include <webkit2/webkit-web-extension.h>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "browser/script_channel.h"
#include "browser/view_uri.h"
#include "platform/gtk/web_extension/datastore_requests.h"
#include "platform/com.h"

namespace lectern {
namespace {

// Closure-captured builtins, so a page that replaces Proxy or Reflect later breaks only itself.
// Names are matched ignoring case, as script written for this reader expects.
constexpr const char kHelpers[] = R"js((function () {
  const P = Proxy, R = Reflect, M = Map, E = Error, ownNames = Object.getOwnPropertyNames;
  return {
    makeProxy(target) {
      const byLowerName = new M();
      for (const name of ownNames(target)) byLowerName.set(name.toLowerCase(), name);
      const resolve = (name) => {
        if (typeof name !== 'string' || R.has(target, name)) return name;
        const own = byLowerName.get(name.toLowerCase());
        return own === undefined ? name : own;
      };
      return new P(target, {
        get(t, name) { return R.get(t, resolve(name)); },
        set(t, name, value) { return R.set(t, resolve(name), value); },
        has(t, name) { return R.has(t, resolve(name)); },
      });
    },
    throwError(message, number) {
      const e = new E(message);
      e.number = number;
      throw e;
    },
    // A page's document, or a node in it, stands for its window, as script hands either.
    whichWindow(v) {
      if (v === window || v === document) return 1;
      if (v === window.top) return 2;
      try { if (v && v.ownerDocument === document) return 1; } catch (e) {}
      return 0;
    },
  };
})())js";

// Process-wide and never destroyed: the web process may exit without tearing frames down, and
// no exit-time destructor should talk to a window that may be gone.
std::unique_ptr<ScriptChannelClient>& Client() {
  static auto* client = new std::unique_ptr<ScriptChannelClient>();
  return *client;
}

struct FrameScript;

// One JS function or accessor and the member it stands for.
struct Binding {
  std::weak_ptr<FrameScript> frame;
  ScriptHandle handle = 0;
  std::string name;
  std::optional<int32_t> method, get, put;
};

// The script objects of one frame's current document. Dropped when the frame loads its next
// document or goes away; the handles it received are then given back to the window.
struct FrameScript : std::enable_shared_from_this<FrameScript> {
  FrameScript(uint64_t page, uint64_t frame, uint64_t main_frame, JSCContext* ctx)
      : page_id(page), frame_id(frame), main_frame_id(main_frame), context(ctx) {}
  ~FrameScript();

  JSCValue* Helper(const char* name) { return jsc_value_object_get_property(helpers, name); }
  bool Init();
  // A new reference to the JS object for `handle`, built on first sight; null with `*result` when
  // its members cannot be had.
  JSCValue* ObjectFor(ScriptHandle handle, HRESULT* result);
  JSCValue* Build(ScriptHandle handle, HRESULT* result);
  ScriptValue FromJs(JSCValue* value);
  JSCValue* ToJs(const ScriptValue& value);
  void Throw(const std::string& member, HRESULT result);
  JSCValue* Call(const Binding& binding, int32_t dispatch_id, ScriptMemberKind kind,
                 std::span<const ScriptValue> arguments);

  uint64_t page_id, frame_id, main_frame_id;
  JSCContext* context;  // owned reference
  JSCValue* helpers = nullptr;
  std::map<ScriptHandle, JSCValue*> objects;  // owned references
  std::unordered_map<JSCValue*, ScriptHandle> handles;
  std::map<ScriptHandle, uint32_t> received;
};

std::unordered_map<uint64_t, std::shared_ptr<FrameScript>>& Frames() {
  static auto* frames = new std::unordered_map<uint64_t, std::shared_ptr<FrameScript>>();
  return *frames;
}

FrameScript::~FrameScript() {
  std::vector<ReleasedHandle> released;
  for (auto [handle, count] : received) released.push_back({handle, count});
  if (!released.empty() && Client()) Client()->Release(page_id, released);
  for (auto& [handle, value] : objects) g_object_unref(value);
  if (helpers) g_object_unref(helpers);
  g_object_unref(context);
}

bool FrameScript::Init() {
  helpers = jsc_context_evaluate(context, kHelpers, -1);
  if (jsc_context_get_exception(context)) {
    jsc_context_clear_exception(context);
    return false;
  }
  return helpers && jsc_value_is_object(helpers);
}

void FrameScript::Throw(const std::string& member, HRESULT result) {
  std::string message = "\"" + member + "\" failed with HRESULT " + DescribeHresult(result);
  JSCValue* thrower = Helper("throwError");
  JSCValue* text = jsc_value_new_string(context, message.c_str());
  JSCValue* number = jsc_value_new_number(context, double(result));
  JSCValue* args[] = {text, number};
  JSCValue* ignored = jsc_value_function_callv(thrower, 2, args);
  // Called from inside a callback, the exception stays pending and reaches the caller's script.
  if (ignored) g_object_unref(ignored);
  g_object_unref(number);
  g_object_unref(text);
  g_object_unref(thrower);
}

JSCValue* NewString(JSCContext* context, const std::string& utf8) {
  // From bytes, so text with NUL characters in it keeps them.
  GBytes* bytes = g_bytes_new(utf8.data(), utf8.size());
  JSCValue* value = jsc_value_new_string_from_bytes(context, bytes);
  g_bytes_unref(bytes);
  return value;
}

ScriptValue FrameScript::FromJs(JSCValue* value) {
  if (jsc_value_is_undefined(value)) return ScriptValue();
  if (jsc_value_is_null(value)) return ScriptValue::Null();
  if (jsc_value_is_boolean(value)) return ScriptValue::Bool(jsc_value_to_boolean(value));
  if (jsc_value_is_number(value)) {
    double d = jsc_value_to_double(value);
    bool integral = std::isfinite(d) && d == std::trunc(d) && d >= -2147483648.0 && d <= 2147483647.0 &&
                    !(d == 0 && std::signbit(d));
    return integral ? ScriptValue::Int32(int32_t(d)) : ScriptValue::Double(d);
  }
  if (jsc_value_is_string(value)) {
    GBytes* bytes = jsc_value_to_string_as_bytes(value);
    gsize size = 0;
    const char* data = bytes ? static_cast<const char*>(g_bytes_get_data(bytes, &size)) : nullptr;
    ScriptValue text = ScriptValue::WideString(Utf8ToWide(std::string_view(data ? data : "", size)));
    if (bytes) g_bytes_unref(bytes);
    return text;
  }
  if (jsc_value_is_object(value)) {
    if (auto it = handles.find(value); it != handles.end()) return ScriptValue::Object(it->second);
    JSCValue* which_window = Helper("whichWindow");
    JSCValue* args[] = {value};
    JSCValue* which = jsc_value_function_callv(which_window, 1, args);
    int kind = which ? jsc_value_to_int32(which) : 0;
    if (which) g_object_unref(which);
    g_object_unref(which_window);
    if (kind == 1) return ScriptValue::Frame(frame_id);
    if (kind == 2 && main_frame_id) return ScriptValue::Frame(main_frame_id);
  }
  // Page objects other than our own and the frame windows have no form on the window side.
  return ScriptValue::Null();
}

JSCValue* FrameScript::ToJs(const ScriptValue& value) {
  switch (value.kind()) {
    case ScriptValue::Kind::kEmpty:
      return jsc_value_new_undefined(context);
    case ScriptValue::Kind::kNull:
      return jsc_value_new_null(context);
    case ScriptValue::Kind::kInt32:
      return jsc_value_new_number(context, value.int32());
    case ScriptValue::Kind::kBool:
      return jsc_value_new_boolean(context, value.boolean());
    case ScriptValue::Kind::kDouble:
      return jsc_value_new_number(context, value.number());
    case ScriptValue::Kind::kWideString:
    case ScriptValue::Kind::kString:
      return NewString(context, value.text());
    case ScriptValue::Kind::kObject: {
      HRESULT result = S_OK;
      JSCValue* object = ObjectFor(value.object(), &result);
      if (object) return object;
      Throw("(object)", result);
      return jsc_value_new_undefined(context);
    }
    case ScriptValue::Kind::kFrame:
      if (value.frame() == frame_id) return jsc_context_get_global_object(context);
      if (main_frame_id && value.frame() == main_frame_id) return jsc_context_evaluate(context, "window.top", -1);
      return jsc_value_new_null(context);
  }
  return jsc_value_new_undefined(context);
}

JSCValue* FrameScript::Call(const Binding& binding, int32_t dispatch_id, ScriptMemberKind kind,
                            std::span<const ScriptValue> arguments) {
  ScriptValue result;
  HRESULT hr = Client() ? Client()->Invoke(page_id, binding.handle, dispatch_id, kind, arguments, &result)
                        : kScriptChannelDisconnected;
  // An object that arrived is counted on the window side whatever the outcome, so take it in.
  JSCValue* value = ToJs(result);
  if (FAILED(hr)) {
    g_object_unref(value);
    Throw(binding.name, hr);
    return jsc_value_new_undefined(context);
  }
  return value;
}

JSCValue* Disconnected(const Binding& binding) {
  JSCContext* context = jsc_context_get_current();
  std::string message = "\"" + binding.name + "\" failed with HRESULT " + DescribeHresult(kScriptChannelDisconnected);
  jsc_context_throw(context, message.c_str());
  return jsc_value_new_undefined(context);
}

JSCValue* OnGet(gpointer data) {
  auto* binding = static_cast<Binding*>(data);
  auto frame = binding->frame.lock();
  if (!frame) return Disconnected(*binding);
  return frame->Call(*binding, *binding->get, ScriptMemberKind::kPropertyGet, {});
}

void OnSet(JSCValue* value, gpointer data) {
  auto* binding = static_cast<Binding*>(data);
  auto frame = binding->frame.lock();
  if (!frame) {
    g_object_unref(Disconnected(*binding));
    return;
  }
  ScriptValue argument = frame->FromJs(value);
  g_object_unref(frame->Call(*binding, *binding->put, ScriptMemberKind::kPropertyPut, {&argument, 1}));
}

JSCValue* OnCall(GPtrArray* args, gpointer data) {
  auto* binding = static_cast<Binding*>(data);
  auto frame = binding->frame.lock();
  if (!frame) return Disconnected(*binding);
  std::vector<ScriptValue> arguments;
  for (guint i = 0; args && i < args->len; ++i)
    arguments.push_back(frame->FromJs(static_cast<JSCValue*>(g_ptr_array_index(args, i))));
  return frame->Call(*binding, *binding->method, ScriptMemberKind::kMethod, arguments);
}

void DeleteBinding(gpointer data) { delete static_cast<Binding*>(data); }

JSCValue* FrameScript::ObjectFor(ScriptHandle handle, HRESULT* result) {
  if (handle != kExternalHandle) ++received[handle];
  if (auto it = objects.find(handle); it != objects.end()) return JSC_VALUE(g_object_ref(it->second));
  JSCValue* object = Build(handle, result);
  if (!object) return nullptr;
  objects[handle] = object;
  handles[object] = handle;
  return JSC_VALUE(g_object_ref(object));
}

JSCValue* FrameScript::Build(ScriptHandle handle, HRESULT* result) {
  std::vector<ScriptMember> members;
  *result = Client() ? Client()->Describe(page_id, handle, &members) : kScriptChannelDisconnected;
  if (FAILED(*result)) return nullptr;

  // Members by name, in the order the object lists them; a property and a method of one name
  // become the property.
  std::vector<Binding*> bindings;
  std::map<std::string, Binding*> by_name;
  for (const auto& member : members) {
    Binding*& binding = by_name[member.name];
    if (!binding) {
      binding = new Binding{weak_from_this(), handle, member.name, {}, {}, {}};
      bindings.push_back(binding);
    }
    auto& slot = member.kind == ScriptMemberKind::kMethod        ? binding->method
                 : member.kind == ScriptMemberKind::kPropertyGet ? binding->get
                                                                 : binding->put;
    if (!slot) slot = member.dispatch_id;
  }

  JSCValue* target = jsc_value_new_object(context, nullptr, nullptr);
  auto flags = JSCValuePropertyFlags(JSC_VALUE_PROPERTY_ENUMERABLE);
  for (Binding* binding : bindings) {
    if (binding->get || binding->put) {
      jsc_value_object_define_property_accessor(target, binding->name.c_str(), flags, JSC_TYPE_VALUE,
                                                binding->get ? G_CALLBACK(OnGet) : nullptr,
                                                binding->put ? G_CALLBACK(OnSet) : nullptr, binding, DeleteBinding);
    } else {
      JSCValue* function = jsc_value_new_function_variadic(context, binding->name.c_str(), G_CALLBACK(OnCall), binding,
                                                           DeleteBinding, JSC_TYPE_VALUE);
      jsc_value_object_define_property_data(target, binding->name.c_str(), flags, function);
      g_object_unref(function);
    }
  }
  JSCValue* make_proxy = Helper("makeProxy");
  JSCValue* args[] = {target};
  JSCValue* proxy = jsc_value_function_callv(make_proxy, 1, args);
  g_object_unref(make_proxy);
  g_object_unref(target);
  if (jsc_context_get_exception(context) || !proxy || !jsc_value_is_object(proxy)) {
    jsc_context_clear_exception(context);
    if (proxy) g_object_unref(proxy);
    *result = E_FAIL;
    return nullptr;
  }
  return proxy;
}

// The book's folder on disk in Preview Mode, whose files are the book's pages too; empty otherwise.
std::string& BookFolder() {
  static auto* folder = new std::string();
  return *folder;
}

std::unordered_map<uint64_t, uint64_t>& MainFrames() {
  static auto* main_frames = new std::unordered_map<uint64_t, uint64_t>();  // page id -> its top frame's id
  return *main_frames;
}

// Whether the frame's document is the book's. An empty or "srcdoc" frame holds what the page that
// made it wrote there and shares that page's origin, so it is judged by that origin: the origin
// cannot be faked the way a base URL can.
bool IsBookFrame(WebKitFrame* frame, JSCContext* context) {
  const char* uri = webkit_frame_get_uri(frame);
  std::string address = uri ? uri : "";
  if (address.compare(0, 6, "about:") != 0) return IsBookDocumentUri(address, BookFolder());
  JSCValue* origin = jsc_context_evaluate(context, "self.origin", -1);
  if (jsc_context_get_exception(context)) jsc_context_clear_exception(context);
  std::string text;
  if (origin && jsc_value_is_string(origin)) {
    char* chars = jsc_value_to_string(origin);
    text = chars;
    g_free(chars);
  }
  if (origin) g_object_unref(origin);
  return IsBookDocumentUri(text, "");
}

void OnFrameGone(gpointer data, GObject*) { Frames().erase(uint64_t(reinterpret_cast<uintptr_t>(data))); }

void OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame, gpointer) {
  if (!Client() || !Client()->connected()) return;
  uint64_t frame_id = webkit_frame_get_id(frame);
  auto& frames = Frames();
  if (auto it = frames.find(frame_id); it != frames.end()) {
    frames.erase(it);  // the previous document's objects go back first
  } else {
    g_object_weak_ref(G_OBJECT(frame), OnFrameGone, reinterpret_cast<gpointer>(uintptr_t(frame_id)));
  }
  // The top frame clears first; a subframe of a page whose top frame lives in another process
  // has no top frame id here, and `top` then reaches the window side as null.
  uint64_t page_id = webkit_web_page_get_id(page);
  auto& main_frames = MainFrames();
  if (webkit_frame_is_main_frame(frame)) main_frames[page_id] = frame_id;
  auto main = main_frames.find(page_id);
  auto script = std::make_shared<FrameScript>(page_id, frame_id, main == main_frames.end() ? 0 : main->second,
                                              webkit_frame_get_js_context_for_script_world(frame, world));
  if (!script->Init()) return;
  frames[frame_id] = script;
  // The host's objects are the book's: a page from anywhere else, top-level or in a frame of a
  // book page, keeps the engine's own `window.external`, as in any browser.
  if (!IsBookFrame(frame, script->context)) return;
  HRESULT result = S_OK;
  JSCValue* external = script->ObjectFor(kExternalHandle, &result);
  if (!external) {
    // A view that the window has not given a `window.external` keeps the engine's own.
    g_message("lectern: no window.external for page %" G_GUINT64_FORMAT ": %s", script->page_id,
              DescribeHresult(result).c_str());
    return;
  }
  jsc_context_set_value(script->context, "external", external);
  g_object_unref(external);
}

UniqueFd Connect(const char* path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (std::strlen(path) >= sizeof address.sun_path) return UniqueFd();
  std::strcpy(address.sun_path, path);
  UniqueFd socket_fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket_fd) return UniqueFd();
  if (connect(socket_fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return UniqueFd();
  return socket_fd;
}

void Initialize(GVariant* data) {
  if (!data || !g_variant_is_of_type(data, G_VARIANT_TYPE("(uss)"))) {
    g_warning("lectern: web extension started without its channel");
    return;
  }
  guint32 version = 0;
  const char* path = nullptr;
  const char* book_folder = nullptr;
  g_variant_get(data, "(u&s&s)", &version, &path, &book_folder);
  BookFolder() = book_folder;
  if (version != kScriptChannelVersion) {
    g_warning("lectern: script channel version %u, expected %u", version, kScriptChannelVersion);
    return;
  }
  UniqueFd channel = Connect(path);
  if (!channel) {
    g_warning("lectern: cannot connect to the script channel at %s: %s", path, g_strerror(errno));
    return;
  }
  Client() = std::make_unique<ScriptChannelClient>(std::move(channel));
  g_signal_connect(webkit_script_world_get_default(), "window-object-cleared", G_CALLBACK(OnWindowObjectCleared),
                   nullptr);
}

}  // namespace
}  // namespace lectern

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(WebKitWebExtension* extension,
                                                                               const GVariant* data) {
  lectern::TranslateDatastoreRequests(extension);
  lectern::Initialize(const_cast<GVariant*>(data));
}
