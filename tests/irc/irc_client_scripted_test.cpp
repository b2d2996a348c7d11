// The client against a scripted server on loopback: exact bytes on the wire,
// and the failures a real IRC server will not produce on demand.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "irc/irc_bot_mfc.h"
#include "irc/irc_lines.h"
#include "irc/irc_settings.h"
#include "platform/background_worker.h"
#include "tests/support/loopback_port.h"
#include "tests/support/scripted_tcp_server.h"

namespace larkspan::irc {
namespace {

// In the expected lines "\003" is the colour control byte 0x03.

using namespace std::chrono_literals;
using test::ScriptedTcpConnection;
using test::ScriptedTcpServer;
using Clock = std::chrono::steady_clock;

// Tests that wait for read time-outs keep them short; tests that show a
// return without any wait use a long one, so that a loaded machine cannot
// be mistaken for a wait.
constexpr std::chrono::milliseconds kReadTimeout = 300ms;
constexpr std::chrono::milliseconds kPatientRead = 5s;
// Generous bounds for waits that must end by themselves; they only catch a
// client that hangs.
constexpr auto kHangBound = 10s;

IrcConnectionOptions Options(std::uint16_t port,
                             std::chrono::milliseconds readTimeout = kReadTimeout) {
  return {.port = port, .connectTimeout = 2s, .readTimeout = readTimeout, .sendTimeout = 2s};
}

IrcClientSettings Defaults() {
  return {.serverName = "127.0.0.1"};
}

const std::string kUser = "USER blank alt1 alt2 :Larkspan v. 1.37b\r\n";

// A server that greets, answers NICK and USER and then JOIN, records what
// follows, and closes after QUIT.
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

std::chrono::milliseconds Elapsed(Clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since);
}

TEST(IrcBotMFCScripted, RegistersAndSendsEveryLineByteForByte) {
  ScriptedTcpServer server(Registrar);
  IrcBotMFC bot(Defaults(), Options(server.port(), kPatientRead));
  EXPECT_TRUE(bot.Connect());
  EXPECT_TRUE(bot.Say("RECORDING - Night Show ( http://host:8000/live.mp3 )"));
  EXPECT_EQ(bot.SendRaw(kKeepAliveLine), 6);
  EXPECT_EQ(bot.SendTopic("LKS currently idle"), 35);
  EXPECT_EQ(bot.SendRaw(""), 0);
  // A hostile name inside a topic, and a typed line: each stays one line.
  EXPECT_GT(bot.SendRaw("TOPIC #sample :a\r\nPRIVMSG NickServ :x\r\n mountpoint\r\n"), 0);
  EXPECT_TRUE(bot.Say("first\r\nQUIT"));
  EXPECT_TRUE(bot.Say(std::string(2000, 'x')));
  platform::BackgroundWorker work;
  SendChatLine(bot, "hello", work);  // typed into the chat window
  work.waitUntilIdle();
  const auto quitStart = Clock::now();
  EXPECT_TRUE(bot.Quit());
  EXPECT_LT(Elapsed(quitStart), kPatientRead) << "the server closed at once after QUIT";
  ASSERT_TRUE(server.waitForFinishedScripts(1, kHangBound));

  const std::string longLine = "PRIVMSG #sample :\00303" + std::string(512 - 22, 'x') + "\r\n";
  EXPECT_EQ(server.received().at(0),
            "NICK test\r\n" + kUser + "JOIN #sample\r\n" +
                "PRIVMSG #sample :\00303RECORDING - Night Show ( http://host:8000/live.mp3 )\r\n"
                "PING\r\n"
                "TOPIC #sample :LKS currently idle\r\n"
                "TOPIC #sample :a  PRIVMSG NickServ :x   mountpoint\r\n"
                "PRIVMSG #sample :\00303first  QUIT\r\n" +
                longLine + "hello\r\nQUIT\r\n");
  EXPECT_EQ(longLine.size(), 512u);
}

TEST(IrcBotMFCScripted, SilentServerGetsThreeUnderscoreRetriesAndNoJoinWithinBoundedTime) {
  ScriptedTcpServer server([](ScriptedTcpConnection& c) { c.readToEnd(60s); });
  IrcBotMFC bot(Defaults(), Options(server.port()));
  const auto start = Clock::now();
  EXPECT_TRUE(bot.Connect());
  EXPECT_LT(Elapsed(start), kHangBound);
  bot.Close();
  ASSERT_TRUE(server.waitForFinishedScripts(1, kHangBound));
  EXPECT_EQ(server.received().at(0), "NICK test\r\n" + kUser + "NICK test_\r\n" + kUser +
                                         "NICK test__\r\n" + kUser + "NICK test___\r\n" + kUser);
}

TEST(IrcBotMFCScripted, AnswerToFirstRetryLetsTheJoinFollowTheUnderscoredNick) {
  ScriptedTcpServer server([](ScriptedTcpConnection& c) {
    c.send(":irc.scripted NOTICE * :*** Checking\r\n");
    if (!c.readUntil(kUser, kHangBound)) return;  // no answer to the first try
    if (!c.readUntil("NICK test_\r\n" + kUser, kHangBound)) return;
    c.send(":irc.scripted 001 test_ :Welcome\r\n");
    c.readToEnd(60s);
  });
  IrcBotMFC bot(Defaults(), Options(server.port()));
  bot.Connect();
  bot.Close();
  ASSERT_TRUE(server.waitForFinishedScripts(1, kHangBound));
  EXPECT_EQ(server.received().at(0),
            "NICK test\r\n" + kUser + "NICK test_\r\n" + kUser + "JOIN #sample\r\n");
}

TEST(IrcBotMFCScripted, ResetAfterNickAndUserEndsRegistrationAndLaterSendsFail) {
  ScriptedTcpServer server([](ScriptedTcpConnection& c) {
    c.send(":irc.scripted NOTICE * :*** Checking\r\n");
    if (c.readUntil(kUser, kHangBound)) c.reset();
  });
  IrcBotMFC bot(Defaults(), Options(server.port()));
  const auto start = Clock::now();
  EXPECT_TRUE(bot.Connect());
  EXPECT_LT(Elapsed(start), kHangBound);
  ASSERT_TRUE(server.waitForFinishedScripts(1, kHangBound));
  EXPECT_EQ(server.received().at(0), "NICK test\r\n" + kUser);
  EXPECT_FALSE(bot.Say("after the reset"));
  EXPECT_EQ(bot.SendRaw(kKeepAliveLine), 0) << "what makes the keep-alive reconnect";
  EXPECT_EQ(server.connectionCount(), 1u) << "nothing reconnects on an error";
}

TEST(IrcBotMFCScripted, ServerThatClosesAtOnceEndsRegistrationWithoutSending) {
  ScriptedTcpServer server([](ScriptedTcpConnection&) {});
  IrcBotMFC bot(Defaults(), Options(server.port(), kPatientRead));
  const auto start = Clock::now();
  EXPECT_TRUE(bot.Connect());
  EXPECT_LT(Elapsed(start), kPatientRead) << "a read that returns 0 ends the loop at once";
  EXPECT_EQ(bot.SendRaw(kKeepAliveLine), 0) << "the server is gone: the keep-alive reconnects";
  EXPECT_TRUE(bot.Quit());
  ASSERT_TRUE(server.waitForFinishedScripts(1, kHangBound));
  EXPECT_EQ(server.received().at(0), "");
}

TEST(IrcBotMFCScripted, UnreachableServerLeavesNoConnectionAndQuitReturnsAtOnce) {
  IrcBotMFC bot(Defaults(), Options(test::FreeLoopbackPort(), kPatientRead));
  EXPECT_TRUE(bot.Connect());
  EXPECT_FALSE(bot.Say("nobody listens"));
  EXPECT_EQ(bot.SendRaw(kKeepAliveLine), 0);
  const auto start = Clock::now();
  EXPECT_TRUE(bot.Quit());
  EXPECT_LT(Elapsed(start), kPatientRead);
}

TEST(IrcBotMFCScripted, QuitOnASilentServerEndsByItsReadTimeOutAndQuitAfterCloseSendsNothing) {
  ScriptedTcpServer server([](ScriptedTcpConnection& c) {
    c.send(":irc.scripted NOTICE * :*** Checking\r\n");
    if (!c.readUntil(kUser, kHangBound)) return;
    c.send(":irc.scripted 001 test :Welcome\r\n");
    c.readToEnd(60s);  // never closes, not even after QUIT
  });
  IrcBotMFC bot(Defaults(), Options(server.port()));
  bot.Connect();
  const auto start = Clock::now();
  EXPECT_TRUE(bot.Quit());
  EXPECT_LT(Elapsed(start), kHangBound);
  bot.Close();
  EXPECT_TRUE(bot.Quit());
  ASSERT_TRUE(server.waitForFinishedScripts(1, kHangBound));
  EXPECT_TRUE(server.received().at(0).ends_with("JOIN #sample\r\nQUIT\r\n"));
}

TEST(IrcBotMFCScripted, ConnectWithNewSettingsClosesTheOldConnectionFirst) {
  ScriptedTcpServer server(Registrar);
  IrcBotMFC bot(Defaults(), Options(server.port()));
  bot.Connect();
  bot.SetSettings({.serverName = "127.0.0.1",
                   .nickname = "larkbot",
                   .channel = "#other",
                   .userId = "lark",
                   .textColour = 12});
  EXPECT_EQ(bot.Channel(), "#other");
  bot.Connect();
  EXPECT_TRUE(server.waitForFinishedScripts(1, kHangBound)) << "the old connection was closed";
  EXPECT_TRUE(bot.Say("hi"));
  bot.Close();
  ASSERT_TRUE(server.waitForFinishedScripts(2, kHangBound));
  const auto received = server.received();
  EXPECT_EQ(received.at(0), "NICK test\r\n" + kUser + "JOIN #sample\r\n");
  EXPECT_EQ(received.at(1),
            "NICK larkbot\r\nUSER lark alt1 alt2 :Larkspan v. 1.37b\r\nJOIN #other\r\n"
            "PRIVMSG #other :\0030<hi\r\n");
}

// Recording threads post while the window's thread reconnects: every line
// must arrive whole, on a registered connection, and only once.
TEST(IrcBotMFCScripted, ConcurrentPostsDuringReconnectsArriveAsWholeLines) {
  ScriptedTcpServer server(Registrar);
  IrcBotMFC bot(Defaults(), Options(server.port()));
  bot.Connect();

  constexpr int kThreads = 4;
  constexpr int kMessages = 100;
  auto text = [](int thread, int k) {
    return "t" + std::to_string(thread) + "-m" + std::to_string(k) + "-" +
           std::string(static_cast<std::size_t>((k * 97 + thread * 31) % 450), 'p');
  };
  std::set<std::string> expected = {"NICK test", "USER blank alt1 alt2 :Larkspan v. 1.37b",
                                    "JOIN #sample", "QUIT"};
  for (int t = 0; t < kThreads; ++t) {
    for (int k = 0; k < kMessages; ++k) {
      expected.insert(k % 5 == 0 ? "TOPIC #sample :" + text(t, k)
                                 : "PRIVMSG #sample :\00303" + text(t, k));
    }
  }

  std::atomic<bool> posting{true};
  std::thread reconnector([&] {
    while (posting.load()) {
      bot.Close();
      bot.Connect();
      std::this_thread::sleep_for(10ms);
    }
  });
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([&, t] {
      for (int k = 0; k < kMessages; ++k) {
        if (k % 5 == 0) {
          bot.SendTopic(text(t, k));
        } else {
          bot.Say(text(t, k));
        }
        std::this_thread::sleep_for(1ms);
      }
    });
  }
  for (auto& sender : senders) sender.join();
  posting.store(false);
  reconnector.join();
  bot.Quit();
  bot.Close();

  const std::size_t connections = server.connectionCount();
  ASSERT_TRUE(server.waitForFinishedScripts(connections, kHangBound));
  EXPECT_GE(connections, 2u) << "the test must overlap posts with reconnects";
  std::multiset<std::string> posted;
  for (const std::string& bytes : server.received()) {
    EXPECT_TRUE(bytes.empty() || bytes.ends_with("\r\n")) << "a line was cut off";
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = bytes.find("\r\n", at)) != std::string::npos;
         at = end + 2) {
      lines.push_back(bytes.substr(at, end - at));
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_TRUE(expected.contains(lines[i]))
          << "torn or unknown line: " << lines[i].substr(0, 80);
      if (lines[i].starts_with("PRIVMSG") || lines[i].starts_with("TOPIC")) {
        posted.insert(lines[i]);
        EXPECT_GE(i, 3u) << "posted before the registration was over";
      }
    }
  }
  EXPECT_GT(posted.size(), 0u);
  for (const auto& line : posted) EXPECT_EQ(posted.count(line), 1u) << line.substr(0, 80);
}

}  // namespace
}  // namespace larkspan::irc
