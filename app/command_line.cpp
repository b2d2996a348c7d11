#include "app/command_line.h"

#include <charconv>
#include <cstdint>
#include <vector>

#include "platform/prompter.h"

namespace larkspan::app {
namespace {

// Every form with its one line, in the order --help and the usage give them.
struct Form {
  std::string_view synopsis;
  std::string_view description;
};
constexpr Form kForms[] = {
    {"larkspan", "opens the main window (needs a display)"},
    {"larkspan --headless", "records the schedule and watches the servers, without a window"},
    {"larkspan --record [--shoutcast] [--for DURATION] URL FILE",
     "records the stream at URL into FILE, now"},
    {"larkspan --version", "prints the name and version"},
    {"larkspan --help", "prints this help"},
};

constexpr std::string_view kDetails =
    "\n"
    "options of --record:\n"
    "  --shoutcast     strips the header text a Shoutcast server sends before the audio\n"
    "  --for DURATION  stops by itself after DURATION, as SIGINT would: seconds (90)\n"
    "                  or with units (90s, 45m, 2h, 1h30m)\n"
    "  --              ends the options, for a URL or FILE that begins with '-'\n"
    "\n"
    "Without a window the program works in the current folder (its profile\n"
    "brambly.prf and its activity log log.txt are there) and runs until SIGINT,\n"
    "SIGTERM or SIGHUP: --headless then saves the profile, --record closes FILE.\n"
    "\n"
    "exit status:\n"
    "  0  success (--record: the recording ended DONE RECORDING with stream data)\n"
    "  1  the recording or the run failed; the reason is on standard error (the\n"
    "     window shows it in a message box)\n"
    "  2  usage error, or no display to open the window on\n"
    "  3  another larkspan (the window or --headless) runs in this folder; this\n"
    "     one ended without loading or saving the profile\n";

// The forms one under the other, each with its line when `described`.
std::string Forms(bool described) {
  std::string forms;
  for (const Form& form : kForms) {
    forms.append(&form == kForms ? "usage: " : "       ").append(form.synopsis).append("\n");
    if (described) forms.append("         ").append(form.description).append("\n");
  }
  return forms;
}

CommandLine Answer(std::string text, int exitStatus) {
  CommandLine line;
  line.form = CommandLine::Form::Answer;
  line.answer = std::move(text);
  line.exitStatus = exitStatus;
  return line;
}

CommandLine UsageError(std::string_view reason) {
  return Answer("larkspan: " + std::string(reason) + "\n" + Forms(false), kExitUsage);
}

// "-" too: a name that many programs take for standard output.
bool IsOption(std::string_view arg) {
  return arg.starts_with('-');
}

// Everything after --record.
CommandLine ParseRecord(std::span<const std::string_view> args) {
  CommandLine line;
  line.form = CommandLine::Form::Record;
  std::vector<std::string_view> operands;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (optionsEnded || !IsOption(arg)) {
      operands.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--shoutcast") {
      line.record.shoutcast = true;
    } else if (arg == "--for" || arg.starts_with("--for=")) {
      if (line.record.duration) return UsageError("--for given twice");
      std::string_view value;
      if (arg != "--for") {
        value = arg.substr(6);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        return UsageError("--for needs a duration");
      }
      line.record.duration = ParseDuration(value);
      if (!line.record.duration) {
        return UsageError("'" + std::string(value) +
                          "' is not a duration: seconds or 90s, 45m, 2h, 1h30m, more than zero");
      }
    } else {
      return UsageError("unknown option '" + std::string(arg) + "'");
    }
  }
  if (operands.size() < 2) return UsageError("--record needs a URL and a FILE");
  if (operands.size() > 2) return UsageError("extra argument '" + std::string(operands[2]) + "'");
  line.record.url = operands[0];
  line.record.outputFile = operands[1];
  return line;
}

}  // namespace

CommandLine ParseCommandLine(std::span<const std::string_view> args) {
  if (args.empty()) return {};
  const std::string_view first = args.front();
  if (first == "--record") return ParseRecord(args.subspan(1));
  if (!IsOption(first)) return UsageError("unexpected argument '" + std::string(first) + "'");
  CommandLine line;
  if (first == "--headless") {
    line.form = CommandLine::Form::Headless;
  } else if (first == "--version") {
    line = Answer(std::string(platform::kMessageCaption) + "\n", kExitSuccess);
  } else if (first == "--help" || first == "-h") {
    line = Answer(HelpText(), kExitSuccess);
  } else {
    return UsageError("unknown option '" + std::string(first) + "'");
  }
  if (args.size() > 1)
    return UsageError("extra argument '" + std::string(args[1]) + "' after " + std::string(first));
  return line;
}

std::optional<std::chrono::seconds> ParseDuration(std::string_view text) {
  constexpr std::pair<char, std::int64_t> kUnits[] = {{'h', 3600}, {'m', 60}, {'s', 1}};
  std::int64_t total = 0;
  std::size_t nextUnit = 0;
  const char* at = text.data();
  const char* const end = text.data() + text.size();
  while (at != end) {
    // At most 32 bits a number, so that the sum fits.
    std::uint32_t number = 0;
    const auto [after, error] = std::from_chars(at, end, number);
    if (error != std::errc()) return std::nullopt;
    at = after;
    if (at == end) {
      if (nextUnit != 0) return std::nullopt;  // "1h30": 30 what?
      total = number;
      break;
    }
    while (nextUnit < std::size(kUnits) && kUnits[nextUnit].first != *at) ++nextUnit;
    if (nextUnit == std::size(kUnits)) return std::nullopt;
    total += number * kUnits[nextUnit++].second;
    ++at;
  }
  if (total == 0) return std::nullopt;
  return std::chrono::seconds(total);
}

std::string HelpText() {
  return std::string(platform::kMessageCaption) + " - Internet radio stream recorder\n\n" +
         Forms(true) + std::string(kDetails);
}

}  // namespace larkspan::app
