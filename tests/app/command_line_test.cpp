// The program's arguments, read without running the program.

#include "app/command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace larkspan::app {
namespace {

using namespace std::chrono_literals;
using Form = CommandLine::Form;

struct Case {
  std::vector<std::string_view> args;
  Form form;
  int exitStatus = kExitSuccess;
  RecordCommand record = {};
};

const Case kCases[] = {
    {{}, Form::Window},
    {{"--headless"}, Form::Headless},
    {{"--version"}, Form::Answer},
    {{"--help"}, Form::Answer},
    {{"--record", "http://radio/live", "show.mp3"},
     Form::Record,
     kExitSuccess,
     {.url = "http://radio/live", .outputFile = "show.mp3"}},
    {{"--record", "--shoutcast", "--for", "1h30m", "u", "f"},
     Form::Record,
     kExitSuccess,
     {.url = "u", .outputFile = "f", .shoutcast = true, .duration = 5400s}},
    {{"--record", "u", "f", "--for=90"},
     Form::Record,
     kExitSuccess,
     {.url = "u", .outputFile = "f", .duration = 90s}},
    {{"--record", "--for", "2h5s", "--", "-u", "--for"},
     Form::Record,
     kExitSuccess,
     {.url = "-u", .outputFile = "--for", .duration = 7205s}},
    {{"--bogus"}, Form::Answer, kExitUsage},
    {{"http://radio/live"}, Form::Answer, kExitUsage},
    {{"--headless", "show.mp3"}, Form::Answer, kExitUsage},
    {{"--version", "--help"}, Form::Answer, kExitUsage},
    {{"--record", "u"}, Form::Answer, kExitUsage},
    {{"--record", "u", "f", "g"}, Form::Answer, kExitUsage},
    {{"--record", "--headless", "u", "f"}, Form::Answer, kExitUsage},
    {{"--record", "-", "f"}, Form::Answer, kExitUsage},
    {{"--record", "u", "f", "--for"}, Form::Answer, kExitUsage},
    {{"--record", "--for", "1h", "--for", "2h", "u", "f"}, Form::Answer, kExitUsage},
    {{"--record", "--for", "0m", "u", "f"}, Form::Answer, kExitUsage},
    {{"--record", "--for", "1x", "u", "f"}, Form::Answer, kExitUsage},
    {{"--record", "--for", "-5", "u", "f"}, Form::Answer, kExitUsage},
    {{"--record", "--for", "30m1h", "u", "f"}, Form::Answer, kExitUsage},
    {{"--record", "--for", "1h30", "u", "f"}, Form::Answer, kExitUsage},
    {{"--record", "--for", "99999999999", "u", "f"}, Form::Answer, kExitUsage},
};

TEST(CommandLine, ReadsEveryFormAndRejectsWhatItCannotRead) {
  for (const Case& c : kCases) {
    std::string args;
    for (std::string_view arg : c.args) args.append(" ").append(arg);
    SCOPED_TRACE("larkspan" + args);
    const CommandLine line = ParseCommandLine(c.args);
    EXPECT_EQ(line.form, c.form);
    EXPECT_EQ(line.exitStatus, c.exitStatus);
    const auto fields = [](const RecordCommand& r) {
      return std::tie(r.url, r.outputFile, r.shoutcast, r.duration);
    };
    EXPECT_TRUE(fields(line.record) == fields(c.record));
    if (c.exitStatus == kExitUsage) {
      // One line of reason, then the usage.
      EXPECT_TRUE(line.answer.starts_with("larkspan: ")) << line.answer;
      EXPECT_TRUE(line.answer.substr(line.answer.find('\n') + 1).starts_with("usage: larkspan\n"))
          << line.answer;
    }
  }
  // The help lists every form the usage does.
  const std::string usage = ParseCommandLine(std::vector<std::string_view>{"-x"}).answer;
  const std::string help = ParseCommandLine(std::vector<std::string_view>{"--help"}).answer;
  for (std::size_t at = usage.find("larkspan --"); at != std::string::npos;
       at = usage.find("larkspan --", at + 1)) {
    EXPECT_NE(help.find(usage.substr(at, usage.find('\n', at) - at)), std::string::npos) << help;
  }
}

}  // namespace
}  // namespace larkspan::app
