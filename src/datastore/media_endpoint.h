// The answers of the loopback media endpoint: the page engine plays audio and video only from
// HTTP, so the reader serves the open book's entries to its own view at
// http://127.0.0.1:PORT/TOKEN/PATH, with byte ranges so players know the length and seek. Only
// requests that name this run's token and this endpoint's own host are answered, and only with
// entries of the book; the socket side lives with the window.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "datastore/file_functions.h"
#include "datastore/http_request.h"
#include "datastore/serving.h"

namespace lectern {

struct MediaEndpointAddress {
  uint16_t port = 0;
  std::string token;  // unguessable, fresh each run

  // "127.0.0.1:PORT", the only Host a request may name.
  std::string Host() const;
  // "http://127.0.0.1:PORT/TOKEN"; a book path "/media/a.wav" is served below it.
  std::string BaseUrl() const;
};

struct MediaAnswer {
  int status = 500;
  std::string head;  // status line and header fields, blank line included
  // For GET answers with a body: the entry's reader standing at the first byte to send.
  std::unique_ptr<DatastoreReader> body;
  uint64_t body_length = 0;
  bool keep_alive = false;
};

// Decides the answer to one request. `files` is the virtual file layer.
MediaAnswer AnswerMediaRequest(const HttpRequest& request, const MediaEndpointAddress& address, FileFunctions& files);

// The answer to bytes that do not parse as a request: 400 naming the fault, and the connection
// closes.
MediaAnswer BadRequestAnswer(const HttpParseError& error);

}  // namespace lectern
