#include "archive/section_cipher.h"

#include <nettle/arcfour.h>

namespace lectern {

void ApplySectionCipher(const BookIdentity& identity, uint8_t* data, size_t size) {
  if (size == 0) return;
  arcfour_ctx ctx;
  arcfour_set_key(&ctx, identity.size(), identity.data());
  arcfour_crypt(&ctx, size, data, data);
}

}  // namespace lectern
