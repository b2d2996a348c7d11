#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace larkspan::platform {

// Copies `text` into a fixed-width, zero-terminated byte field, keeping at most
// width - 1 bytes and zero-filling the rest. Never writes past `width`.
void CopyToField(char* field, std::size_t width, std::string_view text);

template <std::size_t N>
void CopyToField(char (&field)[N], std::string_view text) {
  CopyToField(field, N, text);
}

// The text of a fixed-width field: the bytes up to the first zero, or the whole
// field when it holds no zero (a damaged record must not be read past its end).
std::string_view FieldText(const char* field, std::size_t width);

template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
  return FieldText(field, N);
}

// Cuts UTF-8 text to at most `maxBytes` bytes without splitting a character.
// Bytes of another encoding are cut at `maxBytes` itself.
std::string_view CutUtf8(std::string_view text, std::size_t maxBytes);

// `text` with every CR, LF and NUL turned into a blank. Text from outside (a
// name on a status page, a typed line) put into one line of a protocol or of
// the log can then never end that line early and start another of its own.
std::string SingleLine(std::string_view text);

// Shows stored 8-bit bytes as UTF-8: valid UTF-8 stays as it is, anything else
// is read as Latin-1.
std::string StoredBytesAsUtf8(std::string_view bytes);

// printf into a std::string of whatever length the result needs.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ASCII-only, locale-independent helpers for protocol texts.
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace larkspan::platform
