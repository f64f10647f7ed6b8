// The reader's picture control on GTK: a drawing area over a canvas of the picture's size. Still
// pictures (and GIFs of one image) are drawn once; GIFs of several images are animated frame by
// frame from a GLib timeout on the main loop, so the canvas is only ever touched on the UI thread.
#pragma once

#include <gtk/gtk.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lectern {

// The most a picture file may hold before it is refused unread.
inline constexpr size_t kMaxPictureBytes = size_t(64) << 20;

class CPictureExWnd {
 public:
  // Makes the drawing area; the caller puts widget() into a container. The control keeps its own
  // reference, so it may outlive or be outlived by its container.
  CPictureExWnd();
  ~CPictureExWnd();
  CPictureExWnd(const CPictureExWnd&) = delete;
  CPictureExWnd& operator=(const CPictureExWnd&) = delete;

  GtkWidget* widget() const { return area_; }

  // Each load unloads the previous picture first. True when the picture was decoded and the canvas
  // made; false leaves the control empty.
  bool LoadFromMemory(std::span<const uint8_t> data);
  bool LoadFromFile(const std::string& path);
  // A picture built into the program, by name and type (ASCII case ignored), e.g.
  // "VELLUM_LOGO_BITMAP" of type "BMP".
  bool LoadFromResource(std::string_view name, std::string_view type);

  // The picture's size in pixels; 0 × 0 when nothing is loaded.
  void GetSize(int& width, int& height) const;

  // Animated: starts the frames from the first on a cleared canvas (no-op while running). Still:
  // draws the picture once. False when nothing is loaded.
  bool Start();
  // Ends the animation; the canvas keeps what it shows.
  void Stop();
  // Stops and releases the frames, the picture and the canvas.
  void UnLoad();

  // When set (the default), loading sizes the widget to the picture.
  void SetSizeFlag(bool resize_to_picture) { size_flag_ = resize_to_picture; }
  bool size_flag() const { return size_flag_; }
  // 0xRRGGBB used to clear the canvas and disposed frame areas, from the next load on. Without one,
  // the theme's window background at load time.
  void SetBackgroundColor(uint32_t rgb) { background_ = rgb; }
  // The colour in use: the loaded canvas's, else the one set (0 when none).
  uint32_t background_color() const { return loaded() ? canvas_background_ : background_.value_or(0); }

  bool loaded() const { return canvas_ != nullptr; }
  bool animated() const { return frames_.size() > 1; }
  bool animating() const { return timer_ != 0; }
  size_t frame_count() const { return frames_.size(); }
  size_t current_frame() const { return current_; }
  // The wait after the current frame while animating, in milliseconds.
  int current_delay_ms() const;
  // What the control shows; null when nothing is loaded.
  cairo_surface_t* canvas() const { return canvas_; }

  // Called on the main loop each time a frame has been drawn onto the canvas, with its index.
  void SetFrameObserver(std::function<void(size_t frame)> observer) { observer_ = std::move(observer); }

 private:
  struct Frame {
    GdkPixbuf* pixbuf = nullptr;
    int left = 0, top = 0, width = 0, height = 0;
    std::optional<uint16_t> delay;
    int disposal = 0;
  };
  struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
  };

  bool LoadGif(std::span<const uint8_t> data);
  bool PrepareCanvas();
  void FillCanvas(Rect area);
  Rect FrameArea(const Frame& frame) const;
  void DrawCurrentFrame();
  void DisposeCurrentFrame();
  void ScheduleNextFrame();
  static gboolean OnFrameTimer(gpointer self);
  static gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer self);
  static void OnDestroy(GtkWidget* widget, gpointer self);

  GtkWidget* area_ = nullptr;
  bool size_flag_ = true;
  std::optional<uint32_t> background_;
  uint32_t canvas_background_ = 0;
  int width_ = 0, height_ = 0;
  GdkPixbuf* single_ = nullptr;
  std::vector<Frame> frames_;
  cairo_surface_t* canvas_ = nullptr;
  cairo_surface_t* saved_area_ = nullptr;
  Rect saved_rect_;
  size_t current_ = 0;
  guint timer_ = 0;
  bool stop_ = false;
  std::function<void(size_t)> observer_;
};

// Decodes a picture with the platform's loader, refusing anything larger than `max_side` on a side
// or `max_pixels` in all; null when it cannot be decoded.
GdkPixbuf* DecodePicture(std::span<const uint8_t> data, int max_side = 8192, uint64_t max_pixels = uint64_t(4096) * 4096);

// The whole content of a file on disk, refused when larger than `max_bytes`.
std::optional<std::vector<uint8_t>> ReadDiskFileWhole(const std::string& path, size_t max_bytes = kMaxPictureBytes);

}  // namespace lectern
