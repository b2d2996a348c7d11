#pragma once

#include <cstddef>

#include "schedule/little_endian.h"

// Shared by the record encoders and decoders.
namespace larkspan::schedule::records::detail {

template <std::size_t N>
void PutText(std::byte* record, std::size_t offset, const char (&field)[N]) {
  le::PutBytes(record + offset, field, N);
}

// A file may fill a field to its last byte; cutting that byte keeps every
// reader that takes the field as a zero-terminated string inside it.
template <std::size_t N>
void GetText(const std::byte* record, std::size_t offset, char (&field)[N]) {
  le::GetBytes(record + offset, field, N);
  field[N - 1] = '\0';
}

}  // namespace larkspan::schedule::records::detail

namespace larkspan::schedule::records::detail {

template <std::size_t M, std::size_t N>
void PutTexts(std::byte* record, std::size_t offset, const char (&fields)[M][N]) {
  for (std::size_t i = 0; i < M; ++i) PutText(record, offset + i * N, fields[i]);
}

template <std::size_t M, std::size_t N>
void GetTexts(const std::byte* record, std::size_t offset, char (&fields)[M][N]) {
  for (std::size_t i = 0; i < M; ++i) GetText(record, offset + i * N, fields[i]);
}

template <std::size_t N>
void PutFlags(std::byte* record, std::size_t offset, const std::uint8_t (&flags)[N]) {
  le::PutBytes(record + offset, flags, N);
}

template <std::size_t N>
void GetFlags(const std::byte* record, std::size_t offset, std::uint8_t (&flags)[N]) {
  le::GetBytes(record + offset, flags, N);
}

}  // namespace larkspan::schedule::records::detail
