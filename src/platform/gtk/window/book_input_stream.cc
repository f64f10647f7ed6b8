#include "platform/gtk/window/book_input_stream.h"

#include <algorithm>
#include <climits>

namespace lectern {
namespace {

struct BookInputStream {
  GInputStream parent;
  BookFileStream* stream;
};
struct BookInputStreamClass {
  GInputStreamClass parent_class;
};

GType book_input_stream_get_type();
gpointer book_input_stream_parent_class = nullptr;

gssize BookInputStreamRead(GInputStream* base, void* buffer, gsize count, GCancellable*, GError**) {
  auto* self = reinterpret_cast<BookInputStream*>(base);
  uint32_t n = uint32_t(std::min<gsize>(count, UINT32_MAX));
  return gssize(self->stream->Read(buffer, n));
}

gboolean BookInputStreamClose(GInputStream*, GCancellable*, GError**) { return TRUE; }

void BookInputStreamFinalize(GObject* object) {
  delete reinterpret_cast<BookInputStream*>(object)->stream;
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

GInputStream* NewBookInputStream(std::unique_ptr<BookFileStream> stream) {
  auto* self = static_cast<BookInputStream*>(g_object_new(book_input_stream_get_type(), nullptr));
  self->stream = stream.release();
  return G_INPUT_STREAM(self);
}

}  // namespace lectern
