#include "platform/gtk/window/test_media.h"

#include <dlfcn.h>
#include <glib.h>

#include <cmath>
#include <cstdint>

namespace lectern::testing {
namespace {

void PutLe(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(char((value >> (8 * i)) & 0xFF));
}

// The handful of GStreamer calls a pipeline run needs. Only the library is installed, not its
// headers, so they are looked up by name.
struct GStreamer {
  void (*init)(int*, char***);
  void* (*parse_launch)(const char*, GError**);
  int (*set_state)(void*, int);
  void* (*get_bus)(void*);
  void* (*timed_pop_filtered)(void*, uint64_t, int);
  const void* (*get_structure)(void*);
  void (*parse_error)(void*, GError**, char**);
  void (*mini_object_unref)(void*);
  void (*object_unref)(void*);
};

const GStreamer* Load() {
  static const GStreamer* gst = []() -> const GStreamer* {
    void* library = dlopen("libgstreamer-1.0.so.0", RTLD_NOW | RTLD_GLOBAL);
    if (!library) return nullptr;
    auto* g = new GStreamer();
    bool found = true;
    auto get = [&](auto& slot, const char* name) {
      void* symbol = dlsym(library, name);
      found = found && symbol;
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(symbol);
    };
    get(g->init, "gst_init");
    get(g->parse_launch, "gst_parse_launch");
    get(g->set_state, "gst_element_set_state");
    get(g->get_bus, "gst_element_get_bus");
    get(g->timed_pop_filtered, "gst_bus_timed_pop_filtered");
    get(g->get_structure, "gst_message_get_structure");
    get(g->parse_error, "gst_message_parse_error");
    get(g->mini_object_unref, "gst_mini_object_unref");
    get(g->object_unref, "gst_object_unref");
    if (!found) return nullptr;
    g->init(nullptr, nullptr);
    return g;
  }();
  return gst;
}

constexpr int kStateNull = 1, kStatePlaying = 4, kStateChangeFailure = 0;
constexpr int kMessageEos = 1, kMessageError = 2;
constexpr uint64_t kTenMinutes = 600ull * 1000 * 1000 * 1000;

}  // namespace

std::string ToneWav(double seconds) {
  constexpr uint32_t kRate = 8000;
  uint32_t samples = uint32_t(seconds * kRate);
  std::string wav = "RIFF";
  PutLe(wav, 36 + samples * 2, 4);
  wav += "WAVEfmt ";
  PutLe(wav, 16, 4);
  PutLe(wav, 1, 2);  // PCM
  PutLe(wav, 1, 2);  // mono
  PutLe(wav, kRate, 4);
  PutLe(wav, kRate * 2, 4);
  PutLe(wav, 2, 2);
  PutLe(wav, 16, 2);
  wav += "data";
  PutLe(wav, samples * 2, 4);
  for (uint32_t i = 0; i < samples; ++i)
    PutLe(wav, uint32_t(int16_t(8000 * std::sin(2 * M_PI * 440 * i / kRate))) & 0xFFFF, 2);
  return wav;
}

bool RunGStreamerPipeline(const std::string& description, std::string* error) {
  const GStreamer* gst = Load();
  if (!gst) {
    *error = "libgstreamer-1.0.so.0 not found";
    return false;
  }
  GError* parse_error = nullptr;
  void* pipeline = gst->parse_launch(description.c_str(), &parse_error);
  if (!pipeline || parse_error) {
    *error = parse_error ? parse_error->message : "the pipeline could not be made";
    g_clear_error(&parse_error);
    if (pipeline) gst->object_unref(pipeline);
    return false;
  }
  bool ok = gst->set_state(pipeline, kStatePlaying) != kStateChangeFailure;
  if (ok) {
    void* bus = gst->get_bus(pipeline);
    void* message = gst->timed_pop_filtered(bus, kTenMinutes, kMessageEos | kMessageError);
    // An end of stream carries no structure; an error carries its GError.
    ok = message && !gst->get_structure(message);
    if (message && !ok) {
      GError* failure = nullptr;
      char* debug = nullptr;
      gst->parse_error(message, &failure, &debug);
      *error = failure ? failure->message : "pipeline error";
      g_clear_error(&failure);
      g_free(debug);
    } else if (!message) {
      *error = "the pipeline did not end";
    }
    if (message) gst->mini_object_unref(message);
    gst->object_unref(bus);
  } else {
    *error = "the pipeline would not start";
  }
  gst->set_state(pipeline, kStateNull);
  gst->object_unref(pipeline);
  return ok;
}

}  // namespace lectern::testing
