#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "monitor/ignore_slots.h"

namespace larkspan::monitor {

// The two text fields of the dialog "Advanced Monitor Mountpoint Options".
enum class IgnoreList {
  Mountpoints,  // "Ignore mountpoints:"
  Extensions,   // "Ignore File Extensions:"
};

// The field's text for the slots, as stored bytes: the flagged names of short
// slots 1 to 24 and then long slots 1 to 12, or the non-empty extensions, each
// separated from the next by ", ".
std::string ComposeIgnoreText(const IgnoreSlots& slots, IgnoreList list);

// Replaces the list's slots by the comma-separated tokens of `text` (stored
// bytes). A token starts at its first non-blank character and keeps its
// trailing blanks; blanks between two commas make an empty token that still
// takes its place. Names: token k (from 1 to 24) of fewer than 16 bytes goes
// to short slot k, a longer one to the next free long slot, cut to its first
// 31 bytes at a UTF-8 character boundary. Extensions: token k (from 1 to 6)
// of fewer than 5 bytes goes to extension slot k. Tokens past the last slot,
// and extensions that are too long, are dropped.
void ParseIgnoreText(std::string_view text, IgnoreList list, IgnoreSlots& slots);

// The "Day:" drop-down of an ignore-time row: the name of the lowest weekday
// in `days` ("Sunday" to "Saturday"), "Sunday" when it holds none; and back,
// the weekday bit of a name in any case, nothing for a text that names no
// day (the row then keeps its stored day).
std::string_view IgnoreDayName(std::uint8_t days);
std::optional<std::uint8_t> IgnoreDayBit(std::string_view name);

}  // namespace larkspan::monitor
