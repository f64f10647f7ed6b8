#include "platform/gtk/picture/picture_resources.h"

#include <cstddef>

namespace lectern {

// Embedded at build time from resources/.
extern const uint8_t kVellumLogoPng[];
extern const size_t kVellumLogoPngSize;
extern const uint8_t kAboutBannerGif[];
extern const size_t kAboutBannerGifSize;

namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

struct PictureResource {
  std::string_view name, type;
  const uint8_t* data;
  const size_t* size;
};

// The toolbar logo is stored as PNG; its type keeps the name the frame has always asked for.
const PictureResource kResources[] = {
    {"VELLUM_LOGO_BITMAP", "BMP", kVellumLogoPng, &kVellumLogoPngSize},
    // The information dialog's banner (drawn by scripts/make-about-banner.py).
    {"251", "GIF", kAboutBannerGif, &kAboutBannerGifSize},
};

}  // namespace

std::span<const uint8_t> FindPictureResource(std::string_view name, std::string_view type) {
  for (const PictureResource& resource : kResources) {
    if (SameIgnoringCase(resource.name, name) && SameIgnoringCase(resource.type, type)) {
      return {resource.data, *resource.size};
    }
  }
  return {};
}

}  // namespace lectern
