#include "monitor/ignore_text.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "platform/text.h"

namespace larkspan::monitor {
namespace {

constexpr std::string_view kSeparator = ", ";
constexpr std::string_view kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                          "Thursday", "Friday", "Saturday"};

bool IsWhiteSpace(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::vector<std::string_view> Tokens(std::string_view text) {
  std::vector<std::string_view> tokens;
  std::size_t at = 0;
  while (true) {
    while (at < text.size() && IsWhiteSpace(text[at])) ++at;
    if (at == text.size()) return tokens;
    const std::size_t comma = text.find(',', at);
    tokens.push_back(text.substr(at, comma - at));
    if (comma == std::string_view::npos) return tokens;
    at = comma + 1;
  }
}

std::string ComposeNames(const IgnoreSlots& slots) {
  std::string text = " ";
  for (std::size_t i = 0; i < kShortIgnoreSlots; ++i) {
    if (slots.shortFlags[i] == 0) continue;
    text.append(platform::FieldText(slots.shortNames[i]));
    text.append(kSeparator);
  }
  for (std::size_t i = 0; i < kEditableLongSlots; ++i) {
    if (slots.longFlags[i] == 0) continue;
    text.append(platform::FieldText(slots.longNames[i]));
    text.append(kSeparator);
  }
  const std::size_t lastComma = text.rfind(',');
  if (lastComma != std::string::npos) text.resize(lastComma);
  if (text.size() < 2) return {};
  return text.substr(1);
}

std::string ComposeExtensions(const IgnoreSlots& slots) {
  std::string text;
  for (const auto& field : slots.extensions) {
    const std::string_view extension = platform::FieldText(field);
    if (extension.empty()) continue;
    if (!text.empty()) text.append(kSeparator);
    text.append(extension);
  }
  return text;
}

void ParseNames(std::string_view text, IgnoreSlots& slots) {
  std::memset(slots.shortFlags, 0, sizeof slots.shortFlags);
  std::memset(slots.shortNames, 0, sizeof slots.shortNames);
  std::memset(slots.longFlags, 0, sizeof slots.longFlags);
  std::memset(slots.longNames, 0, sizeof slots.longNames);

  const std::vector<std::string_view> tokens = Tokens(text);
  std::size_t longUsed = 0;
  for (std::size_t k = 0; k < tokens.size() && k < kShortIgnoreSlots; ++k) {
    const std::string_view token = tokens[k];
    if (token.size() < schedule::kShortIgnoreNameSize) {
      slots.shortFlags[k] = 1;
      platform::CopyToField(slots.shortNames[k], token);
    } else if (longUsed < schedule::kLongIgnoreSlots) {
      slots.longFlags[longUsed] = 1;
      // A name too long for its slot keeps its first 31 bytes, and never half
      // a character.
      platform::CopyToField(slots.longNames[longUsed],
                            platform::CutUtf8(token, schedule::kLongIgnoreNameSize - 1));
      ++longUsed;
    }
  }
}

void ParseExtensions(std::string_view text, IgnoreSlots& slots) {
  std::memset(slots.extensions, 0, sizeof slots.extensions);
  const std::vector<std::string_view> tokens = Tokens(text);
  for (std::size_t k = 0; k < tokens.size() && k < schedule::kIgnoredExtensions; ++k) {
    if (tokens[k].size() < schedule::kIgnoredExtensionSize)
      platform::CopyToField(slots.extensions[k], tokens[k]);
  }
}

}  // namespace

std::string ComposeIgnoreText(const IgnoreSlots& slots, IgnoreList list) {
  return list == IgnoreList::Mountpoints ? ComposeNames(slots) : ComposeExtensions(slots);
}

void ParseIgnoreText(std::string_view text, IgnoreList list, IgnoreSlots& slots) {
  if (list == IgnoreList::Mountpoints)
    ParseNames(text, slots);
  else
    ParseExtensions(text, slots);
}

std::string_view IgnoreDayName(std::uint8_t days) {
  for (std::size_t day = 0; day < std::size(kDayNames); ++day) {
    if (days & (1u << day)) return kDayNames[day];
  }
  return kDayNames[0];
}

std::optional<std::uint8_t> IgnoreDayBit(std::string_view name) {
  for (std::size_t day = 0; day < std::size(kDayNames); ++day) {
    if (platform::EqualsIgnoringCase(name, kDayNames[day]))
      return static_cast<std::uint8_t>(1u << day);
  }
  return std::nullopt;
}

}  // namespace larkspan::monitor
