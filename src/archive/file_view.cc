#include "archive/file_view.h"

#include <unistd.h>

#include <cerrno>
#include <memory>

#ifndef _WIN32
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>

#include <mutex>
#endif

namespace lectern {
namespace {

#ifndef _WIN32
// The mapped range a thread is reading inside `Use`, and where a fault there returns to. Plain
// data, so the signal handler reads it without calling anything.
struct FaultGuard {
  const uint8_t* begin;
  const uint8_t* end;
  sigjmp_buf jump;
};
thread_local FaultGuard* t_guard = nullptr;
struct sigaction g_previous_bus_action;

void OnBusError(int signal, siginfo_t* info, void* context) {
  FaultGuard* guard = t_guard;
  auto* address = static_cast<const uint8_t*>(info->si_addr);
  if (guard && address >= guard->begin && address < guard->end) siglongjmp(guard->jump, 1);
  // Not a page of ours: whoever handled it before does, else the default ends the process when
  // the faulting instruction runs again.
  if (g_previous_bus_action.sa_flags & SA_SIGINFO) {
    if (g_previous_bus_action.sa_sigaction) return g_previous_bus_action.sa_sigaction(signal, info, context);
  } else if (g_previous_bus_action.sa_handler != SIG_DFL && g_previous_bus_action.sa_handler != SIG_IGN) {
    return g_previous_bus_action.sa_handler(signal);
  }
  ::signal(SIGBUS, SIG_DFL);
}

void InstallBusErrorHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action = {};
    action.sa_sigaction = &OnBusError;
    // Not deferred: the jump out skips the return that would unblock the signal again.
    action.sa_flags = SA_SIGINFO | SA_NODEFER | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &g_previous_bus_action);
  });
}
#endif

// Grows without clearing: every read overwrites what it uses.
uint8_t* Scratch(size_t size) {
  thread_local std::unique_ptr<uint8_t[]> buffer;
  thread_local size_t capacity = 0;
  if (size > capacity) {
    buffer.reset(new uint8_t[size]);
    capacity = size;
  }
  return buffer.get();
}

}  // namespace

bool ReadFully(int fd, int64_t position, uint8_t* out, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::pread(fd, out + done, size - done, position + int64_t(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

FileView::~FileView() { Close(); }

void FileView::Open(int fd, int64_t size) {
  Close();
  fd_ = fd;
  size_ = size;
#ifndef _WIN32
  if (size <= 0 || uint64_t(size) > SIZE_MAX) return;
  void* map = ::mmap(nullptr, size_t(size), PROT_READ, MAP_SHARED, fd, 0);
  if (map == MAP_FAILED) return;  // positioned reads serve instead
  InstallBusErrorHandler();
  map_ = static_cast<uint8_t*>(map);
#endif
}

void FileView::Close() {
#ifndef _WIN32
  if (map_) ::munmap(map_, size_t(size_));
#endif
  map_ = nullptr;
  fd_ = -1;
  size_ = 0;
}

bool FileView::UseBytes(int64_t position, size_t size, Callback callback, void* context) const {
  if (fd_ < 0 || position < 0 || position > size_ || int64_t(size) > size_ - position) return false;
#ifndef _WIN32
  if (map_) {
    FaultGuard guard;
    guard.begin = map_;
    guard.end = map_ + size_;
    FaultGuard* outer = t_guard;
    if (sigsetjmp(guard.jump, 0) != 0) {
      t_guard = outer;
      return false;  // the file lost these pages after it was mapped
    }
    t_guard = &guard;
    bool ok = callback(context, map_ + position);
    t_guard = outer;
    return ok;
  }
#endif
  uint8_t* bytes = Scratch(size);
  if (!ReadFully(fd_, position, bytes, size)) return false;
  return callback(context, bytes);
}

}  // namespace lectern
