#include "platform/gtk/window/book_input_stream.h"

#include <algorithm>

namespace lectern {
namespace {

struct BookInputStream {
  GInputStream parent;
  DatastoreReader* reader;
  uint64_t remaining;
};
struct BookInputStreamClass {
  GInputStreamClass parent_class;
};

GType book_input_stream_get_type();
gpointer book_input_stream_parent_class = nullptr;

gssize BookInputStreamRead(GInputStream* base, void* buffer, gsize count, GCancellable*, GError** error) {
  auto* self = reinterpret_cast<BookInputStream*>(base);
  int64_t n = self->reader->Read(buffer, size_t(std::min<uint64_t>({count, 1u << 30, self->remaining})));
  if (n < 0) {
    g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_FAILED, "the book file could not be read");
    return -1;
  }
  self->remaining -= uint64_t(n);
  return gssize(n);
}

gboolean BookInputStreamClose(GInputStream*, GCancellable*, GError**) { return TRUE; }

void BookInputStreamFinalize(GObject* object) {
  delete reinterpret_cast<BookInputStream*>(object)->reader;
  G_OBJECT_CLASS(book_input_stream_parent_class)->finalize(object);
}

void BookInputStreamClassInit(gpointer klass, gpointer) {
  book_input_stream_parent_class = g_type_class_peek_parent(klass);
  G_OBJECT_CLASS(klass)->finalize = BookInputStreamFinalize;
  auto* stream_class = G_INPUT_STREAM_CLASS(klass);
  stream_class->read_fn = BookInputStreamRead;
  stream_class->close_fn = BookInputStreamClose;
}

GType book_input_stream_get_type() {
  static const GType type = [] {
    GTypeInfo info{};
    info.class_size = sizeof(BookInputStreamClass);
    info.class_init = BookInputStreamClassInit;
    info.instance_size = sizeof(BookInputStream);
    return g_type_register_static(G_TYPE_INPUT_STREAM, "LecternBookInputStream", &info, GTypeFlags(0));
  }();
  return type;
}

}  // namespace

GInputStream* NewBookInputStream(std::unique_ptr<DatastoreReader> reader, uint64_t count) {
  auto* self = static_cast<BookInputStream*>(g_object_new(book_input_stream_get_type(), nullptr));
  self->remaining = std::min(count, reader->length() - reader->position());
  self->reader = reader.release();
  return G_INPUT_STREAM(self);
}

}  // namespace lectern
