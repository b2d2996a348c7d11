#include <filesystem>

#include "platform/text.h"
#include "tests/schedule/scheduler_fixture.h"
#include "tests/support/irc_test_reader.h"
#include "tests/support/ngircd_server.h"

namespace larkspan::schedule {
namespace {

using namespace std::chrono_literals;

TEST_F(SchedulerTest, AScheduledRecordingIsAnnouncedRecordedStoppedAndClosedOut) {
  test::NgircdServer ircServer;
  test::IrcTestReader reader(ircServer.port(), "#sample", test::NgircdServer::kOperatorName,
                             test::NgircdServer::kOperatorPassword);
  irc::IrcBotMFC irc({.serverName = "127.0.0.1"},
                     {.port = ircServer.port(), .connectTimeout = 5s, .readTimeout = 2s});
  irc.Connect();
  context_.ircClient = &irc;
  profile_.settings.ircUpdateTopic = 1;

  server_.setHandler([](const std::string&) {
    test::ScriptedReply reply = test::ScriptedReply::Stream(0, 8 * 1023);
    reply.stall = true;
    return reply;
  });
  add("Night Show", 21, 0, 22, 0, kMonday);
  tickAt(At(2026, 12, 7, 20, 59, 55));
  ASSERT_GE(entry(0).jobSlot, 0);
  const std::string url = server_.url("/live");
  const std::string announcement = "RECORDING - Night Show ( " + url + ".m3u )";
  EXPECT_TRUE(
      reader.waitForLineContaining("PRIVMSG #sample :\x03"
                                   "03" +
                                       announcement,
                                   15s));
  EXPECT_TRUE(reader.waitForLineContaining("TOPIC #sample :" + announcement, 15s));

  const auto file = folder_.path() / "rec/Night Show/Night Show December 7.mp3";
  const auto end = std::chrono::steady_clock::now() + 10s;
  std::error_code ec;
  while (std::filesystem::file_size(file, ec) != 8 * 1023 &&
         std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(std::filesystem::file_size(file, ec), 8u * 1023);

  tickAt(At(2026, 12, 7, 22, 0, 0));
  ASSERT_TRUE(waitFinished(entry(0)));
  tickAt(At(2026, 12, 7, 22, 0, 5));
  EXPECT_EQ(entry(0).jobSlot, kJobSlotIdle);
  EXPECT_EQ(state_.manualResultText, "DONE RECORDING - Night Show\r\n");
  EXPECT_TRUE(
      reader.waitForLineContaining("PRIVMSG #sample :\x03"
                                   "03FINISHED - Night Show",
                                   15s));
}

}  // namespace
}  // namespace larkspan::schedule
