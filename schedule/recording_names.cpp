#include "schedule/recording_names.h"

#include <array>

#include "platform/text.h"

namespace larkspan::schedule {

std::string CleanProgramName(std::string_view programName) {
  std::string name(programName);
  for (char& c : name) {
    if (std::string_view("\\/:*\"<>|?").find(c) != std::string_view::npos) c = ' ';
  }
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t' || name.back() == '\r' ||
                           name.back() == '\n' || name.back() == '\v' || name.back() == '\f')) {
    name.pop_back();
  }
  return name;
}

std::string ScheduledExtension(std::string_view url, bool shoutcast) {
  constexpr std::size_t kMaxExtension = 4;
  if (shoutcast) return "mp3";
  const std::size_t dot = url.rfind('.');
  if (dot == std::string_view::npos) return "mp3";
  const std::string_view after = url.substr(dot + 1);
  if (after.find_first_of("/:") != std::string_view::npos || after.size() > kMaxExtension)
    return "mp3";
  for (std::size_t i = dot; i > 0 && url[i - 1] != '/'; --i) {
    if (url[i - 1] == '.') return "mp3";
  }
  return std::string(after);
}

std::string_view EnglishMonthName(int month) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "January", "February", "March",     "April",   "May",      "June",
      "July",    "August",   "September", "October", "November", "December"};
  return month >= 1 && month <= 12 ? kMonths[static_cast<std::size_t>(month - 1)] : "";
}

std::string ScheduledOutputName(std::string_view directory, std::string_view name, int month,
                                int day, std::string_view extension) {
  return platform::Format(
      "%.*s/%.*s %.*s %d.%.*s", static_cast<int>(directory.size()), directory.data(),
      static_cast<int>(name.size()), name.data(), static_cast<int>(EnglishMonthName(month).size()),
      EnglishMonthName(month).data(), day, static_cast<int>(extension.size()), extension.data());
}

}  // namespace larkspan::schedule
