// A file's bytes as the book's entry reads (and the search index) see them: mapped into memory where
// the platform allows, so an entry decodes straight from the page cache with no copy and no system
// call; read into per-thread scratch space elsewhere. Any number of threads may use one view at once.
//
// A file that shrinks while it is mapped would otherwise kill the process on the first touch of a
// lost page; such a touch inside `Use` makes that read fail instead.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lectern {

// Reads exactly `size` bytes at `position` of `fd`, through short reads and interruptions; false
// when the file ends first or a read fails.
bool ReadFully(int fd, int64_t position, uint8_t* out, size_t size);

class FileView {
 public:
  FileView() = default;
  ~FileView();
  FileView(const FileView&) = delete;
  FileView& operator=(const FileView&) = delete;

  // `fd` stays the caller's and must stay open while the view is. `size` is the file's size now;
  // bytes past it are never served.
  void Open(int fd, int64_t size);
  void Close();
  bool mapped() const { return map_ != nullptr; }

  // Calls `use` with the `size` bytes at `position` and answers what it answers; false without
  // calling it when the bytes lie outside the file or can't be read. `use` must not allocate or
  // take locks: a read of vanished bytes leaves it in the middle.
  template <typename Fn>
  bool Use(int64_t position, size_t size, Fn&& use) const {
    return UseBytes(position, size, &Call<Fn>, &use);
  }

 private:
  using Callback = bool (*)(void* context, const uint8_t* bytes);
  template <typename Fn>
  static bool Call(void* context, const uint8_t* bytes) {
    return (*static_cast<Fn*>(context))(bytes);
  }
  bool UseBytes(int64_t position, size_t size, Callback callback, void* context) const;

  int fd_ = -1;
  int64_t size_ = 0;
  uint8_t* map_ = nullptr;
};

}  // namespace lectern
