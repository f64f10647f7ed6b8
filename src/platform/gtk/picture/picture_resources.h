// Pictures built into the program, found by name and type the way the frame asks for them.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace lectern {

// The resource's bytes (ASCII case of name and type ignored); empty when there is none.
std::span<const uint8_t> FindPictureResource(std::string_view name, std::string_view type);

}  // namespace lectern
