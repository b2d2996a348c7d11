// The client against Debian's ngIRCd on loopback, read through a second,
// test-side connection that has joined the same channel.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "irc/irc_bot_mfc.h"
#include "irc/irc_lines.h"
#include "irc/irc_settings.h"
#include "irc/keep_alive.h"
#include "platform/background_worker.h"
#include "tests/support/irc_test_reader.h"
#include "tests/support/ngircd_server.h"
#include "tests/support/scripted_random.h"

namespace larkspan::irc {
namespace {

// In the expected lines "\003" is the colour control byte 0x03.

using namespace std::chrono_literals;
using test::IrcTestReader;
using test::NgircdServer;

// ngIRCd says nothing before registration, so the client's first two reads
// wait this long each; the reads after NICK and USER and after JOIN get the
// server's answer at once.
constexpr auto kReadTimeout = 2s;
// ngIRCd throttles the client (not the reader) to about three commands a
// second after a short burst.
constexpr auto kArrival = 15s;

class IrcBotMFCWithNgircd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    try {
      server_ = std::make_unique<NgircdServer>();
    } catch (const std::exception& e) {
      startFailure_ = e.what();
    }
  }
  static void TearDownTestSuite() { server_.reset(); }
  void SetUp() override { ASSERT_TRUE(server_) << "ngIRCd did not start: " << startFailure_; }

  std::unique_ptr<IrcTestReader> Reader(std::string_view channel) {
    return std::make_unique<IrcTestReader>(server_->port(), channel, NgircdServer::kOperatorName,
                                           NgircdServer::kOperatorPassword);
  }
  IrcConnectionOptions Options() const {
    return {.port = server_->port(), .connectTimeout = 5s, .readTimeout = kReadTimeout};
  }

  static std::unique_ptr<NgircdServer> server_;
  static std::string startFailure_;
};

std::unique_ptr<NgircdServer> IrcBotMFCWithNgircd::server_;
std::string IrcBotMFCWithNgircd::startFailure_;

TEST_F(IrcBotMFCWithNgircd, AnnouncesTopicsKeepsAliveAndQuits) {
  auto reader = Reader("#sample");
  IrcBotMFC bot({.serverName = "127.0.0.1"}, Options());
  ASSERT_TRUE(bot.Connect());
  const std::string prefix = ":test!~blank@127.0.0.1 ";
  ASSERT_EQ(reader->waitForLineContaining(" JOIN ", kArrival), prefix + "JOIN :#sample");

  reader->send("WHOIS test");
  EXPECT_EQ(reader->waitForLineContaining(" 311 ", kArrival),
            ":irc.larkspan.test 311 reader test ~blank 127.0.0.1 * :Larkspan v. 1.37b");

  EXPECT_TRUE(bot.Say("RECORDING - Night Show ( http://host:8000/live.mp3 )"));
  EXPECT_EQ(reader->waitForLineContaining(" PRIVMSG ", kArrival),
            prefix + "PRIVMSG #sample :\00303RECORDING - Night Show ( http://host:8000/live.mp3 )");

  // A long name and URL make a line beyond the server's limit: it arrives
  // cut, not dropped.
  EXPECT_TRUE(bot.Say("RECORDING - " + std::string(300, 'n') + " ( http://host/" +
                      std::string(300, 'u') + " )"));
  EXPECT_TRUE(reader->waitForLineContaining(
      prefix + "PRIVMSG #sample :\00303RECORDING - " + std::string(300, 'n'), kArrival));

  EXPECT_GT(bot.SendTopic("RECORDING - Night Show ( http://host:8000/live.mp3 )"), 0);
  EXPECT_EQ(reader->waitForLineContaining(" TOPIC ", kArrival),
            prefix + "TOPIC #sample :RECORDING - Night Show ( http://host:8000/live.mp3 )");

  // The keep-alive draws 30 (one in ten) and then 34: the phrase of row 4
  // follows the PING, which the server answers without dropping the client.
  test::ScriptedRandom random({30, 34});
  SendIrcKeepAlive(&bot, {.autoPosting = true, .chatterMode = true}, random);
  EXPECT_EQ(random.used(), 2u);
  EXPECT_EQ(reader->waitForLineContaining(" PRIVMSG ", kArrival),
            prefix + "PRIVMSG #sample :\00303Hope your day is going well.");

  bot.SetSettings({.serverName = "127.0.0.1", .textColour = 12});
  EXPECT_TRUE(bot.Say("DONE ENCODING - Night Show"));
  EXPECT_EQ(reader->waitForLineContaining(" PRIVMSG ", kArrival),
            prefix + "PRIVMSG #sample :\0030<DONE ENCODING - Night Show");

  EXPECT_TRUE(bot.Quit());
  EXPECT_TRUE(reader->waitForLineContaining(prefix + "QUIT", kArrival));
  EXPECT_TRUE(bot.Quit()) << "a second Quit on the closed connection";
}

// Accepting the IRC settings: QUIT first, then, with auto-posting on, the new
// nickname in the new channel; with it off, nothing after the QUIT. A line
// typed into the chat window goes out as typed.
TEST_F(IrcBotMFCWithNgircd, AcceptedSettingsQuitThenRegisterAnewOnlyWithAutoPosting) {
  auto first = Reader("#first");
  auto reader = std::make_unique<IrcTestReader>(server_->port(), "#larkspan",
                                                NgircdServer::kOperatorName,
                                                NgircdServer::kOperatorPassword, "reader2");
  IrcBotMFC bot({.serverName = "127.0.0.1", .channel = "#first"}, Options());
  bot.Connect();
  ASSERT_TRUE(first->waitForLineContaining(" JOIN ", kArrival));

  schedule::ProfileSettings settings;
  IrcSettingsForm form = IrcSettingsFormOf(settings);
  form.serverName = "localhost";
  form.nickname = "larkbot";
  form.channel = "#larkspan";
  form.userId = "lark";
  form.autoPosting = true;
  ASSERT_TRUE(StoreIrcSettings(form, settings));
  platform::BackgroundWorker work;
  ApplyIrcSettings(bot, settings, work);
  EXPECT_TRUE(first->waitForLineContaining(":test!~blank@127.0.0.1 QUIT", kArrival));
  EXPECT_EQ(reader->waitForLineContaining(" JOIN ", kArrival),
            ":larkbot!~lark@127.0.0.1 JOIN :#larkspan");
  SendChatLine(bot, "PRIVMSG #larkspan :hello", work);
  EXPECT_EQ(reader->waitForLineContaining(" PRIVMSG ", kArrival),
            ":larkbot!~lark@127.0.0.1 PRIVMSG #larkspan :hello");

  settings.ircAutoPost = 0;
  ApplyIrcSettings(bot, settings, work);
  EXPECT_TRUE(reader->waitForLineContaining(":larkbot!~lark@127.0.0.1 QUIT", kArrival));
  work.waitUntilIdle();
  EXPECT_EQ(bot.SendRaw("PRIVMSG #larkspan :still here?\r\n"), 0) << "no new connection";
}

// The server drops the bot (it restarts, as after a crash): the next
// keep-alive reconnects, and the next announcement arrives.
TEST_F(IrcBotMFCWithNgircd, KeepAliveReconnectsAfterTheServerDroppedTheBot) {
  IrcBotMFC bot({.serverName = "127.0.0.1"}, Options());
  bot.Connect();
  server_->restart();
  auto reader = Reader("#sample");
  test::ScriptedRandom random({});
  SendIrcKeepAlive(&bot, {.autoPosting = true}, random);
  EXPECT_TRUE(reader->waitForLineContaining(" JOIN ", kArrival));
  EXPECT_TRUE(bot.Say("RECORDING - Night Show"));
  EXPECT_TRUE(
      reader->waitForLineContaining(" PRIVMSG #sample :\00303RECORDING - Night Show", kArrival));
}

}  // namespace
}  // namespace larkspan::irc
