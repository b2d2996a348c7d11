// The program's arguments, read without running the program.

#include "app/command_line.h"

#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <vector>

namespace larkspan::app {
namespace {

// What a command line reads as, in one line: the form, then for --record what
// to record, for a usage error "usage".
std::string Reading(const std::string& arguments) {
  std::istringstream words(arguments);
  const std::vector<std::string> owned{std::istream_iterator<std::string>(words), {}};
  const CommandLine line =
      ParseCommandLine(std::vector<std::string_view>(owned.begin(), owned.end()));
  if (line.exitStatus == kExitUsage) {
    // One line of reason, then the usage.
    EXPECT_TRUE(line.answer.starts_with("larkspan: ")) << line.answer;
    EXPECT_TRUE(line.answer.substr(line.answer.find('\n') + 1).starts_with("usage: larkspan\n"));
    return "usage";
  }
  EXPECT_EQ(line.exitStatus, kExitSuccess);
  if (line.form != CommandLine::Form::Record)
    return std::array{"window", "headless", "record", "answer"}[static_cast<int>(line.form)];
  const RecordCommand& r = line.record;
  return "record " + r.url + " " + r.outputFile + (r.shoutcast ? " shoutcast" : "") +
         (r.duration ? " " + std::to_string(r.duration->count()) + "s" : "");
}

TEST(CommandLine, ReadsEveryFormAndRejectsWhatItCannotRead) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "window"},
      {"--headless", "headless"},
      {"--version", "answer"},
      {"--help", "answer"},
      {"--record http://radio/live show.mp3", "record http://radio/live show.mp3"},
      {"--record --shoutcast --for 1h30m u f", "record u f shoutcast 5400s"},
      {"--record u f --for=90", "record u f 90s"},
      {"--record --for 2h5s -- -u --for", "record -u --for 7205s"},
  };
  for (const auto& [arguments, reading] : cases)
    EXPECT_EQ(Reading(arguments), reading) << arguments;
  for (const char* arguments :
       {"--bogus", "http://radio/live", "--headless show.mp3", "--version --help", "--record u",
        "--record u f g", "--record --headless u f", "--record - f", "--record u f --for",
        "--record --for 1h --for 2h u f", "--record --for 0m u f", "--record --for 1x u f",
        "--record --for -5 u f", "--record --for 30m1h u f", "--record --for 1h30 u f",
        "--record --for 99999999999 u f"})
    EXPECT_EQ(Reading(arguments), "usage") << arguments;
}

}  // namespace
}  // namespace larkspan::app
