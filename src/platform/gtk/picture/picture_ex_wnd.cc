#include "platform/gtk/picture/picture_ex_wnd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "frame/gif_frames.h"
#include "platform/gtk/picture/picture_resources.h"

namespace lectern {
namespace {

constexpr uint32_t kFallbackBackground = 0xF0F0F0;  // a button face, when the theme names none
constexpr size_t kDecodeChunk = 64 * 1024;

struct DecodeGuard {
  int max_side;
  uint64_t max_pixels;
  bool refused = false;
};

void OnSizePrepared(GdkPixbufLoader* loader, int width, int height, gpointer data) {
  auto* guard = static_cast<DecodeGuard*>(data);
  if (width <= 0 || height <= 0 || width > guard->max_side || height > guard->max_side ||
      uint64_t(width) * uint64_t(height) > guard->max_pixels) {
    guard->refused = true;
    // Keeps the loader from allocating the claimed size while the rest is thrown away.
    gdk_pixbuf_loader_set_size(loader, 1, 1);
  }
}

void SetSourceRgb(cairo_t* cr, uint32_t rgb) {
  cairo_set_source_rgb(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0);
}

uint32_t ThemeBackground(GtkWidget* widget) {
  GdkRGBA colour;
  if (!gtk_style_context_lookup_color(gtk_widget_get_style_context(widget), "theme_bg_color", &colour)) {
    return kFallbackBackground;
  }
  auto channel = [](double v) { return uint32_t(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5); };
  return channel(colour.red) << 16 | channel(colour.green) << 8 | channel(colour.blue);
}

}  // namespace

GdkPixbuf* DecodePicture(std::span<const uint8_t> data, int max_side, uint64_t max_pixels) {
  if (data.empty() || data.size() > kMaxPictureBytes) return nullptr;
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  DecodeGuard guard{max_side, max_pixels};
  g_signal_connect(loader, "size-prepared", G_CALLBACK(OnSizePrepared), &guard);
  bool written = true;
  for (size_t at = 0; at < data.size() && written && !guard.refused; at += kDecodeChunk) {
    size_t n = std::min(kDecodeChunk, data.size() - at);
    written = gdk_pixbuf_loader_write(loader, data.data() + at, n, nullptr);
  }
  // Closing reports a stream that ended early; what was decoded of it is not shown.
  bool closed = gdk_pixbuf_loader_close(loader, nullptr);
  GdkPixbuf* pixbuf = nullptr;
  if (written && closed && !guard.refused) {
    pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
    if (pixbuf) g_object_ref(pixbuf);
  }
  g_signal_handlers_disconnect_by_data(loader, &guard);
  g_object_unref(loader);
  return pixbuf;
}

std::optional<std::vector<uint8_t>> ReadDiskFileWhole(const std::string& path, size_t max_bytes) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<std::vector<uint8_t>> content;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && uint64_t(info.st_size) <= max_bytes) {
    std::vector<uint8_t> bytes(size_t(info.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += size_t(n);
    }
    if (done == bytes.size()) content = std::move(bytes);
  }
  ::close(fd);
  return content;
}

CPictureExWnd::CPictureExWnd() {
  area_ = gtk_drawing_area_new();
  g_object_ref_sink(area_);
  g_signal_connect(area_, "draw", G_CALLBACK(OnDraw), this);
  g_signal_connect(area_, "destroy", G_CALLBACK(OnDestroy), this);
}

CPictureExWnd::~CPictureExWnd() {
  UnLoad();
  g_signal_handlers_disconnect_by_data(area_, this);
  gtk_widget_destroy(area_);
  g_object_unref(area_);
}

bool CPictureExWnd::LoadFromMemory(std::span<const uint8_t> data) {
  UnLoad();
  if (LooksLikeGif(data)) {
    if (!LoadGif(data)) return false;
  } else {
    single_ = DecodePicture(data);
    if (!single_) return false;
    width_ = gdk_pixbuf_get_width(single_);
    height_ = gdk_pixbuf_get_height(single_);
  }
  if (!PrepareCanvas()) {
    UnLoad();
    return false;
  }
  return true;
}

bool CPictureExWnd::LoadGif(std::span<const uint8_t> data) {
  GifSplit split = SplitGif(data, /*build_frames=*/false);
  if (!split.ok()) return false;
  if (split.image_count == 1) {
    single_ = DecodePicture(data);
    if (!single_) return false;
    width_ = split.width;
    height_ = split.height;
    return true;
  }
  split = SplitGif(data);
  for (const GifFrame& piece : split.frames) {
    GdkPixbuf* pixbuf = DecodePicture(piece.gif);
    if (!pixbuf) continue;  // the decoder refuses it: the animation goes on without it
    frames_.push_back(Frame{pixbuf, piece.left, piece.top, piece.width, piece.height, piece.delay, piece.disposal});
  }
  if (frames_.empty()) return false;
  width_ = split.width;
  height_ = split.height;
  return true;
}

bool CPictureExWnd::LoadFromFile(const std::string& path) {
  std::optional<std::vector<uint8_t>> content = ReadDiskFileWhole(path);
  if (!content) {
    UnLoad();
    return false;
  }
  return LoadFromMemory(*content);
}

bool CPictureExWnd::LoadFromResource(std::string_view name, std::string_view type) {
  std::span<const uint8_t> bytes = FindPictureResource(name, type);
  if (bytes.empty()) {
    UnLoad();
    return false;
  }
  return LoadFromMemory(bytes);
}

bool CPictureExWnd::PrepareCanvas() {
  if (size_flag_) gtk_widget_set_size_request(area_, width_, height_);
  canvas_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width_, height_);
  if (cairo_surface_status(canvas_) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(canvas_);
    canvas_ = nullptr;
    return false;
  }
  canvas_background_ = background_ ? *background_ : ThemeBackground(area_);
  FillCanvas({0, 0, width_, height_});
  current_ = 0;
  return true;
}

void CPictureExWnd::GetSize(int& width, int& height) const {
  width = loaded() ? width_ : 0;
  height = loaded() ? height_ : 0;
}

void CPictureExWnd::FillCanvas(Rect area) {
  if (!canvas_ || area.width <= 0 || area.height <= 0) return;
  cairo_t* cr = cairo_create(canvas_);
  SetSourceRgb(cr, canvas_background_);
  cairo_rectangle(cr, area.x, area.y, area.width, area.height);
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_surface_flush(canvas_);
}

CPictureExWnd::Rect CPictureExWnd::FrameArea(const Frame& frame) const {
  // Images may hang over the logical screen's edge; only the part on the canvas counts.
  int right = std::min(frame.left + frame.width, width_), bottom = std::min(frame.top + frame.height, height_);
  return {frame.left, frame.top, std::max(0, right - frame.left), std::max(0, bottom - frame.top)};
}

bool CPictureExWnd::Start() {
  if (!loaded()) return false;
  if (frames_.size() <= 1) {
    cairo_t* cr = cairo_create(canvas_);
    if (single_) {
      gdk_cairo_set_source_pixbuf(cr, single_, 0, 0);
      cairo_paint(cr);
      cairo_destroy(cr);
      cairo_surface_flush(canvas_);
      gtk_widget_queue_draw(area_);
      if (observer_) observer_(0);
    } else {
      // A GIF of which only one frame survived decoding is a still of that frame.
      cairo_destroy(cr);
      current_ = 0;
      DrawCurrentFrame();
    }
    return true;
  }
  if (animating()) return true;
  stop_ = false;
  current_ = 0;
  FillCanvas({0, 0, width_, height_});
  DrawCurrentFrame();
  if (!stop_ && frames_.size() > 1) ScheduleNextFrame();  // unless the observer stopped it
  return true;
}

void CPictureExWnd::Stop() {
  stop_ = true;
  if (timer_) g_source_remove(timer_);
  timer_ = 0;
}

void CPictureExWnd::UnLoad() {
  Stop();
  for (Frame& frame : frames_) g_object_unref(frame.pixbuf);
  frames_.clear();
  if (single_) g_object_unref(single_);
  single_ = nullptr;
  if (saved_area_) cairo_surface_destroy(saved_area_);
  saved_area_ = nullptr;
  if (canvas_) cairo_surface_destroy(canvas_);
  canvas_ = nullptr;
  width_ = height_ = 0;
  current_ = 0;
  if (area_) gtk_widget_queue_draw(area_);
}

int CPictureExWnd::current_delay_ms() const {
  return current_ < frames_.size() ? GifFrameDelayMs(frames_[current_].delay) : 0;
}

void CPictureExWnd::DrawCurrentFrame() {
  const Frame& frame = frames_[current_];
  Rect area = FrameArea(frame);
  if (frame.disposal == 3 && area.width > 0 && area.height > 0) {
    if (saved_area_) cairo_surface_destroy(saved_area_);
    saved_area_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, area.width, area.height);
    saved_rect_ = area;
    cairo_t* save = cairo_create(saved_area_);
    cairo_set_operator(save, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(save, canvas_, -area.x, -area.y);
    cairo_paint(save);
    cairo_destroy(save);
  }
  cairo_t* cr = cairo_create(canvas_);
  cairo_rectangle(cr, area.x, area.y, area.width, area.height);
  cairo_clip(cr);
  gdk_cairo_set_source_pixbuf(cr, frame.pixbuf, frame.left, frame.top);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(canvas_);
  gtk_widget_queue_draw(area_);
  if (observer_) observer_(current_);
}

void CPictureExWnd::DisposeCurrentFrame() {
  const Frame& frame = frames_[current_];
  if (frame.disposal == 2) {
    FillCanvas(FrameArea(frame));
  } else if (frame.disposal == 3 && saved_area_) {
    cairo_t* cr = cairo_create(canvas_);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, saved_area_, saved_rect_.x, saved_rect_.y);
    cairo_rectangle(cr, saved_rect_.x, saved_rect_.y, saved_rect_.width, saved_rect_.height);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_flush(canvas_);
    cairo_surface_destroy(saved_area_);
    saved_area_ = nullptr;
  }
}

void CPictureExWnd::ScheduleNextFrame() {
  timer_ = g_timeout_add(guint(current_delay_ms()), &CPictureExWnd::OnFrameTimer, this);
}

gboolean CPictureExWnd::OnFrameTimer(gpointer data) {
  auto* self = static_cast<CPictureExWnd*>(data);
  self->timer_ = 0;  // this source ends here; the next frame gets one of its own delay
  if (self->stop_ || self->frames_.size() <= 1) return G_SOURCE_REMOVE;
  self->DisposeCurrentFrame();
  if (++self->current_ >= self->frames_.size()) {
    self->current_ = 0;
    self->FillCanvas({0, 0, self->width_, self->height_});
  }
  self->DrawCurrentFrame();
  // The observer may have stopped or unloaded the picture.
  if (!self->stop_ && self->frames_.size() > 1) self->ScheduleNextFrame();
  return G_SOURCE_REMOVE;
}

gboolean CPictureExWnd::OnDraw(GtkWidget* widget, cairo_t* cr, gpointer data) {
  auto* self = static_cast<CPictureExWnd*>(data);
  if (!self->canvas_) return FALSE;
  int width = std::min(gtk_widget_get_allocated_width(widget), self->width_);
  int height = std::min(gtk_widget_get_allocated_height(widget), self->height_);
  cairo_set_source_surface(cr, self->canvas_, 0, 0);
  cairo_rectangle(cr, 0, 0, width, height);
  cairo_fill(cr);
  return FALSE;
}

void CPictureExWnd::OnDestroy(GtkWidget*, gpointer data) {
  // The window that held the control is going: no frame may be drawn for it any more.
  static_cast<CPictureExWnd*>(data)->Stop();
}

}  // namespace lectern
