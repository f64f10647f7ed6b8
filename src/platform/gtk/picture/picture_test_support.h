// What the picture and splash tests share: waiting on the main loop, pictures made with cairo, and
// pixels read back from a canvas.
#pragma once

#include <gtk/gtk.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lectern::testing {

// Runs the main loop until `done` or `ms` have passed; false on timeout.
inline bool RunUntil(const std::function<bool()>& done, int ms = 10000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
  }
  return true;
}

inline void RunFor(int ms) {
  RunUntil([] { return false; }, ms);
}

// A PNG of `width` × `height`: the left half `left_rgb`, the right half `right_rgb`.
inline std::vector<uint8_t> TwoColourPng(int width, int height, uint32_t left_rgb, uint32_t right_rgb) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(surface);
  auto fill = [&](uint32_t rgb, double x, double w) {
    cairo_set_source_rgb(cr, (rgb >> 16 & 0xFF) / 255.0, (rgb >> 8 & 0xFF) / 255.0, (rgb & 0xFF) / 255.0);
    cairo_rectangle(cr, x, 0, w, height);
    cairo_fill(cr);
  };
  fill(left_rgb, 0, width / 2);
  fill(right_rgb, width / 2, width - width / 2);
  cairo_destroy(cr);
  std::vector<uint8_t> png;
  cairo_surface_write_to_png_stream(
      surface,
      [](void* out, const unsigned char* data, unsigned int length) {
        auto* bytes = static_cast<std::vector<uint8_t>*>(out);
        bytes->insert(bytes->end(), data, data + length);
        return CAIRO_STATUS_SUCCESS;
      },
      &png);
  cairo_surface_destroy(surface);
  return png;
}

// 0xRRGGBB at (x, y) of an opaque image surface.
inline uint32_t PixelAt(cairo_surface_t* surface, int x, int y) {
  cairo_surface_flush(surface);
  const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
  return reinterpret_cast<const uint32_t*>(row)[x] & 0xFFFFFF;
}

inline std::vector<uint8_t> ToBytes(const std::string& s) { return {s.begin(), s.end()}; }

}  // namespace lectern::testing
