#pragma once

#include <cstddef>
#include <string_view>

#include "platform/text.h"

namespace larkspan::schedule {

// The most bytes a text from a window keeps in a stored field: the 256-byte
// names and URLs keep 254 (one byte less than the field could hold, as stored
// profiles have always had it), every other field its width less one.
constexpr std::size_t ControlTextLimit(std::size_t fieldWidth) {
  return fieldWidth == 256 ? 254 : fieldWidth - 1;
}

// Stores UTF-8 text typed into a window into a fixed field, cut to the field's
// limit at a character boundary and zero-filled.
template <std::size_t N>
void CopyControlText(char (&field)[N], std::string_view utf8) {
  platform::CopyToField(field, platform::CutUtf8(utf8, ControlTextLimit(N)));
}

}  // namespace larkspan::schedule
