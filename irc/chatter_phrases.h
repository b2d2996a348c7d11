#pragma once

#include <cstddef>

namespace larkspan::irc {

inline constexpr std::size_t kChatterPhraseCount = 30;
inline constexpr std::size_t kChatterPhraseWidth = 80;

// The canned chat sentences of Chatter Mode: each row is 8 to 67 bytes ending
// in "\r\n", zero-terminated, with no IRC command word before it.
extern const char ChatterPhrases[kChatterPhraseCount][kChatterPhraseWidth];

}  // namespace larkspan::irc
