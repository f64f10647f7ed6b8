#include "platform/gtk/window/media_server.h"

#include <gio/gio.h>
#include <sys/random.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "datastore/virtual_file_layer.h"

namespace lectern {
namespace {

constexpr size_t kBodyChunk = 64 * 1024;
// Players keep a connection open while they buffer; one idle this long is let go.
constexpr guint kIdleSeconds = 120;
constexpr int kMaxConnections = 16;

std::string NewToken() {
  unsigned char bytes[16];
  if (getrandom(bytes, sizeof bytes, 0) != ssize_t(sizeof bytes)) return {};
  std::string token;
  char hex[3];
  for (unsigned char byte : bytes) {
    std::snprintf(hex, sizeof hex, "%02x", byte);
    token += hex;
  }
  return token;
}

bool WriteAll(GOutputStream* out, const void* data, size_t size) {
  return g_output_stream_write_all(out, data, size, nullptr, nullptr, nullptr);
}

bool SendAnswer(GOutputStream* out, MediaAnswer& answer) {
  if (!WriteAll(out, answer.head.data(), answer.head.size())) return false;
  std::vector<char> chunk(kBodyChunk);
  for (uint64_t left = answer.body ? answer.body_length : 0; left > 0;) {
    int64_t got = answer.body->Read(chunk.data(), size_t(std::min<uint64_t>(left, chunk.size())));
    if (got <= 0) return false;  // the length was promised: a short body must end the connection
    if (!WriteAll(out, chunk.data(), size_t(got))) return false;
    left -= uint64_t(got);
  }
  return true;
}

gboolean OnConnection(GThreadedSocketService*, GSocketConnection* connection, GObject*, gpointer data) {
  const auto* address = static_cast<const MediaEndpointAddress*>(data);
  g_socket_set_timeout(g_socket_connection_get_socket(connection), kIdleSeconds);
  GInputStream* in = g_io_stream_get_input_stream(G_IO_STREAM(connection));
  GOutputStream* out = g_io_stream_get_output_stream(G_IO_STREAM(connection));
  std::string pending;
  char buffer[4096];
  for (;;) {
    HttpParseResult parsed = ParseHttpRequestHead(pending);
    if (parsed.status == HttpParseResult::Status::kIncomplete) {
      gssize got = g_input_stream_read(in, buffer, sizeof buffer, nullptr, nullptr);
      if (got <= 0) break;
      pending.append(buffer, size_t(got));
      continue;
    }
    if (parsed.status == HttpParseResult::Status::kError) {
      MediaAnswer bad = BadRequestAnswer(parsed.error);
      SendAnswer(out, bad);
      break;
    }
    pending.erase(0, parsed.head_size);
    MediaAnswer answer = AnswerMediaRequest(parsed.request, *address, FileInterception());
    if (!SendAnswer(out, answer) || !answer.keep_alive) break;
  }
  g_io_stream_close(G_IO_STREAM(connection), nullptr, nullptr);
  return TRUE;
}

const MediaEndpointAddress* Start() {
  auto address = std::make_unique<MediaEndpointAddress>();
  address->token = NewToken();
  if (address->token.empty()) return nullptr;
  GSocketService* service = g_threaded_socket_service_new(kMaxConnections);
  GInetAddress* loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
  GSocketAddress* wanted = g_inet_socket_address_new(loopback, 0);
  GSocketAddress* bound = nullptr;
  GError* error = nullptr;
  bool listening = g_socket_listener_add_address(G_SOCKET_LISTENER(service), wanted, G_SOCKET_TYPE_STREAM,
                                                 G_SOCKET_PROTOCOL_TCP, nullptr, &bound, &error);
  g_object_unref(wanted);
  g_object_unref(loopback);
  if (!listening) {
    g_warning("lectern: media endpoint cannot listen: %s", error->message);
    g_error_free(error);
    g_object_unref(service);
    return nullptr;
  }
  address->port = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(bound));
  g_object_unref(bound);
  // The service and the address stay for the life of the process: connection threads may still
  // be answering when the window goes.
  g_signal_connect(service, "run", G_CALLBACK(OnConnection), address.get());
  g_socket_service_start(service);
  return address.release();
}

}  // namespace

const MediaEndpointAddress* MediaEndpoint() {
  static const MediaEndpointAddress* address = Start();
  return address;
}

}  // namespace lectern
