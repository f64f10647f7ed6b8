#include "tests/support/local_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lectern::testing {

LocalHttpServer::LocalHttpServer(std::map<std::string, std::string> pages) : pages_(std::move(pages)) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(listener_, 16) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    close(listener_);
    listener_ = -1;
    return;
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

LocalHttpServer::~LocalHttpServer() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) close(listener_);
}

std::string LocalHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void LocalHttpServer::Serve() {
  while (!stopping_) {
    pollfd ready{listener_, POLLIN, 0};
    if (poll(&ready, 1, 50) <= 0) continue;
    int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
      pollfd readable{client, POLLIN, 0};
      if (poll(&readable, 1, 2000) <= 0) break;
      ssize_t got = read(client, buffer, sizeof buffer);
      if (got <= 0) break;
      request.append(buffer, size_t(got));
    }
    ++requests_;
    // "GET /path HTTP/1.1": the path without its query.
    std::string path;
    if (size_t space = request.find(' '); space != std::string::npos) {
      size_t end = request.find_first_of(" ?", space + 1);
      path = request.substr(space + 1, end == std::string::npos ? std::string::npos : end - space - 1);
    }
    auto page = pages_.find(path);
    std::string body = page == pages_.end() ? "not here" : page->second;
    std::string reply = std::string(page == pages_.end() ? "HTTP/1.1 404 Not Found" : "HTTP/1.1 200 OK") +
                        "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    for (size_t sent = 0; sent < reply.size();) {
      ssize_t wrote = send(client, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
      if (wrote <= 0) break;
      sent += size_t(wrote);
    }
    close(client);
  }
}

}  // namespace lectern::testing
