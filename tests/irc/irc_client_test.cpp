// The lines the client sends; the client against a scripted server on
// loopback (exact bytes on the wire, and the failures a real IRC server will
// not produce on demand; the end-to-end test has it talk to ngIRCd). In the
// expected lines "\003" is the colour control byte 0x03.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "irc/irc_bot_mfc.h"
#include "irc/irc_lines.h"
#include "irc/irc_settings.h"
#include "irc/keep_alive.h"
#include "platform/background_worker.h"
#include "tests/support/loopback_port.h"
#include "tests/support/scripted_random.h"
#include "tests/support/scripted_tcp_server.h"

namespace larkspan::irc {
namespace {

using namespace std::chrono_literals;
using test::ScriptedTcpConnection;
using test::ScriptedTcpServer;
using Clock = std::chrono::steady_clock;

// Only catches a client that hangs.
constexpr auto kHangBound = 10s;
// The read time-out of tests that show a return without any wait: long, so
// that a loaded machine cannot be mistaken for a wait.
constexpr auto kPatientRead = 5s;
const std::string kUser = "USER blank alt1 alt2 :Larkspan v. 1.37b\r\n";

IrcBotMFC Bot(std::uint16_t port, std::chrono::milliseconds readTimeout = 300ms) {
  return IrcBotMFC({.serverName = "127.0.0.1"},
                   {.port = port, .connectTimeout = 2s, .readTimeout = readTimeout});
}

// Greets, answers NICK and USER and then JOIN, and closes after QUIT.
void Registrar(ScriptedTcpConnection& c) {
  c.send(":irc.scripted NOTICE * :*** Looking up your hostname\r\n");
  std::this_thread::sleep_for(20ms);
  c.send(":irc.scripted NOTICE * :*** Found your hostname\r\n");
  if (!c.readUntil(" :Larkspan v. 1.37b\r\n", kHangBound)) return;
  c.send(":irc.scripted 001 test :Welcome\r\n");
  if (!c.readUntil("JOIN ", kHangBound) || !c.readUntil("\r\n", kHangBound)) return;
  c.send(":test!~blank@127.0.0.1 JOIN :#sample\r\n");
  if (c.readUntil("QUIT\r\n", 60s)) c.send("ERROR :Closing link\r\n");
}

TEST(IrcLines, WireLineIsOneWholeLineThatFitsTheServersLimit) {
  std::string accents;  // "é" is two bytes: an odd cut would split one
  for (int i = 0; i < 300; ++i) accents += "\xc3\xa9";
  const std::pair<std::string, std::string> cases[] = {
      {"PING", "PING\r\n"},
      {"\r\n", "\r\n"},
      {std::string("a\0b\nc\r\r\n", 8), "a b c \r\n"},
      {"x" + accents, "x" + accents.substr(0, kMaxLine - 4) + "\r\n"}};
  for (const auto& [line, wire] : cases) EXPECT_EQ(WireLine(line), wire) << line.substr(0, 40);
  EXPECT_EQ(ChatLine(std::string(1030, 'x')), std::string(1021, 'x') + "\r\n");
  EXPECT_EQ(ChatLine(std::string(1020, 'x') + "\xc3\xa9"), std::string(1020, 'x') + "\r\n");
}

TEST(IrcBotMFCScripted, RegistersAndSendsEveryLineByteForByte) {
  ScriptedTcpServer server(Registrar);
  IrcBotMFC bot = Bot(server.port(), kPatientRead);
  EXPECT_TRUE(bot.Connect());
  EXPECT_TRUE(bot.Say("RECORDING - Night Show ( http://host:8000/live.mp3 )"));
  EXPECT_EQ(bot.SendRaw("PING\r\n"), 6);
  EXPECT_EQ(bot.SendTopic("LKS currently idle"), 35);
  EXPECT_EQ(bot.SendRaw(""), 0);
  // A hostile name inside a topic, and a typed line: each stays one line.
  EXPECT_GT(bot.SendRaw("TOPIC #sample :a\r\nPRIVMSG NickServ :x\r\n mountpoint\r\n"), 0);
  EXPECT_TRUE(bot.Say("first\r\nQUIT"));
  EXPECT_TRUE(bot.Say(std::string(2000, 'x')));
  platform::BackgroundWorker work;
  SendChatLine(bot, "hello", work);  // typed into the chat window
  work.waitUntilIdle();

  // New settings: the old connection goes first, as the server would refuse
  // the nickname to the new one.
  bot.SetSettings({.serverName = "127.0.0.1",
                   .nickname = "larkbot",
                   .channel = "#other",
                   .userId = "lark",
                   .textColour = 12});
  bot.Connect();
  EXPECT_TRUE(server.waitForFinishedScripts(1, kHangBound)) << "the old connection was closed";
  EXPECT_TRUE(bot.Say("hi"));
  // Accepted with auto-posting off, the client quits (at once, as the server
  // closes) and stays away.
  schedule::ProfileSettings settings;
  settings.ircAutoPost = 0;
  const auto quitStart = Clock::now();
  ApplyIrcSettings(bot, settings, work);
  work.waitUntilIdle();
  EXPECT_TRUE(Clock::now() - quitStart < kPatientRead);
  EXPECT_EQ(bot.SendRaw("PING\r\n"), 0) << "no new connection";
  ASSERT_TRUE(server.waitForFinishedScripts(2, kHangBound));
  EXPECT_EQ(server.connectionCount(), 2u);
  // The keep-alive finds the connection gone and makes a new one.
  bot.SetSettings({.serverName = "127.0.0.1"});
  test::ScriptedRandom random({1});
  SendIrcKeepAlive(&bot, {.autoPosting = true}, random);
  EXPECT_EQ(server.connectionCount(), 3u);
  EXPECT_EQ(server.received().at(0),
            "NICK test\r\n" + kUser + "JOIN #sample\r\n" +
                "PRIVMSG #sample :\00303RECORDING - Night Show ( http://host:8000/live.mp3 )\r\n"
                "PING\r\nTOPIC #sample :LKS currently idle\r\n"
                "TOPIC #sample :a  PRIVMSG NickServ :x   mountpoint\r\n"
                "PRIVMSG #sample :\00303first  QUIT\r\n"
                "PRIVMSG #sample :\00303" +
                std::string(512 - 22, 'x') + "\r\nhello\r\n");
  EXPECT_EQ(server.received().at(1),
            "NICK larkbot\r\nUSER lark alt1 alt2 :Larkspan v. 1.37b\r\nJOIN #other\r\n"
            "PRIVMSG #other :\0030<hi\r\nQUIT\r\n");
}

// Servers that never answer NICK and USER (three more tries, each with one
// more underscore; even after QUIT the server does not close, so Quit ends by
// its read time-out, and after Close it sends nothing), that reset after them,
// that close at once, and none at all: registration ends without hanging; on
// a connection that is gone sends report 0 bytes (what makes the keep-alive
// reconnect), nothing reconnects by itself, and Quit returns at once.
TEST(IrcBotMFCScripted, RegistrationEndsOnSilentResetClosedOrMissingServers) {
  ScriptedTcpServer silent([](ScriptedTcpConnection& c) { c.readToEnd(60s); });
  ScriptedTcpServer resetting([](ScriptedTcpConnection& c) {
    c.send(":irc.scripted NOTICE * :*** Checking\r\n");
    if (c.readUntil(kUser, kHangBound)) c.reset();
  });
  ScriptedTcpServer closing([](ScriptedTcpConnection&) {});
  std::string tries;
  for (const char* nick : {"test", "test_", "test__", "test___"})
    tries += "NICK " + std::string(nick) + "\r\n" + kUser;
  // The silent and the resetting server say nothing in a read: a short read
  // time-out and the hang bound for them; a patient read for the others.
  const std::tuple<ScriptedTcpServer*, std::chrono::milliseconds, std::chrono::milliseconds,
                   std::string>
      cases[] = {{&silent, 300ms, kHangBound,
                  tries + "PRIVMSG #sample :\00303after the end\r\nPING\r\nQUIT\r\n"},
                 {&resetting, 300ms, kHangBound, "NICK test\r\n" + kUser},
                 {&closing, kPatientRead, kPatientRead, ""},
                 {nullptr, kPatientRead, kPatientRead, ""}};
  for (const auto& [server, readTimeout, bound, received] : cases) {
    IrcBotMFC bot = Bot(server ? server->port() : test::FreeLoopbackPort(), readTimeout);
    const bool open = server == &silent;
    const auto start = Clock::now();
    EXPECT_TRUE(bot.Connect());
    EXPECT_EQ(bot.Say("after the end"), open);
    EXPECT_EQ(bot.SendRaw("PING\r\n"), open ? 6 : 0);
    EXPECT_TRUE(bot.Quit());
    EXPECT_TRUE(Clock::now() - start < bound) << received;
    bot.Close();
    EXPECT_TRUE(bot.Quit());
    if (server == nullptr) continue;
    ASSERT_TRUE(server->waitForFinishedScripts(1, kHangBound));
    EXPECT_EQ(server->connectionCount(), 1u);
    EXPECT_EQ(server->received().at(0), received);
  }
}

// Recording threads post while the window's thread reconnects: every line
// must arrive whole, on a registered connection, and only once.
TEST(IrcBotMFCScripted, ConcurrentPostsDuringReconnectsArriveAsWholeLines) {
  ScriptedTcpServer server(Registrar);
  IrcBotMFC bot = Bot(server.port());
  bot.Connect();
  const auto text = [](int i) { return std::to_string(i) + std::string(i * 97 % 450, 'p'); };
  std::set<std::string> expected;
  for (int i = 0; i < 400; ++i)
    expected.insert((i % 5 == 0 ? "TOPIC #sample :" : "PRIVMSG #sample :\00303") + text(i));
  std::atomic<bool> posting{true};
  std::jthread reconnector([&] {
    for (; posting.load(); std::this_thread::sleep_for(10ms)) bot.Close(), bot.Connect();
  });
  {
    std::vector<std::jthread> senders;
    for (int t = 0; t < 4; ++t) {
      senders.emplace_back([&, t] {
        for (int i = t; i < 400; i += 4, std::this_thread::sleep_for(1ms))
          i % 5 == 0 ? bot.SendTopic(text(i)) : bot.Say(text(i));
      });
    }
  }
  posting.store(false);
  reconnector.join();
  bot.Close();

  ASSERT_TRUE(server.waitForFinishedScripts(server.connectionCount(), kHangBound));
  EXPECT_GE(server.connectionCount(), 2u) << "the test must overlap posts with reconnects";
  std::multiset<std::string> posted;
  for (const std::string& bytes : server.received()) {
    EXPECT_TRUE(bytes.empty() || bytes.ends_with("\r\n")) << "a line was cut off";
    std::size_t lines = 0;
    for (std::size_t at = 0, end; (end = bytes.find("\r\n", at)) != std::string::npos;
         at = end + 2) {
      // NICK, USER and JOIN come first, and nothing else may.
      if (lines++ < 3) continue;
      const std::string line = bytes.substr(at, end - at);
      EXPECT_TRUE(expected.contains(line)) << "torn or unknown line: " << line.substr(0, 80);
      posted.insert(line);
    }
  }
  EXPECT_GT(posted.size(), 0u);
  for (const auto& line : posted) EXPECT_EQ(posted.count(line), 1u) << line.substr(0, 80);
}

}  // namespace
}  // namespace larkspan::irc
