// A tiny HTTP server on 127.0.0.1 for tests that need a page of another origin: it answers GET
// requests from a table of paths on a thread of its own until it is destroyed.
#pragma once

#include <atomic>
#include <map>
#include <string>
#include <thread>

namespace lectern::testing {

class LocalHttpServer {
 public:
  // `pages` maps a request path ("/remote.htm") to the HTML it is answered with; anything else is
  // answered 404. The port is picked by the system.
  explicit LocalHttpServer(std::map<std::string, std::string> pages);
  ~LocalHttpServer();
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  // False when no socket could be had.
  bool listening() const { return listener_ >= 0; }
  // "http://127.0.0.1:PORT" + path.
  std::string Url(const std::string& path) const;
  int requests() const { return requests_; }

 private:
  void Serve();

  std::map<std::string, std::string> pages_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> requests_{0};
  std::thread thread_;
};

}  // namespace lectern::testing
