#include "irc/irc_bot_mfc.h"

#include <utility>

#include "irc/irc_lines.h"
#include "platform/network_error.h"
#include "platform/socket_stream.h"
#include "platform/text.h"

namespace larkspan::irc {
namespace {

// Each registration read and each read after QUIT takes at most this much;
// what is read is discarded.
constexpr std::size_t kReadSize = 99;

using Connection = std::shared_ptr<platform::SocketStream>;
using SteadyClock = std::chrono::steady_clock;

// One read of at most kReadSize bytes that waits at most `timeout`: the byte
// count, 0 when the server closed the connection, -1 when the read failed or
// timed out or there is no connection.
long ReadOnce(platform::SocketStream* connection, std::chrono::milliseconds timeout) {
  if (connection == nullptr) return -1;
  try {
    if (!connection->waitReadable(timeout)) return -1;
    char discarded[kReadSize];
    return static_cast<long>(connection->readSome(discarded, sizeof discarded));
  } catch (const platform::NetworkError&) {
    return -1;
  }
}

// Registration sends go to a connection no other thread can see yet; a
// failure shows in the read that follows.
void SendDuringRegistration(platform::SocketStream* connection, std::string_view line) {
  if (connection == nullptr) return;
  try {
    connection->writeAll(WireLine(line));
  } catch (const platform::NetworkError&) {
  }
}

}  // namespace

struct IrcBotMFC::Identity {
  std::string serverName;
  std::string nickname;
  std::string channel;
  std::string userId;
};

IrcBotMFC::IrcBotMFC(const IrcClientSettings& settings, IrcConnectionOptions options)
    : options_(options) {
  SetSettings(settings);
}

IrcBotMFC::~IrcBotMFC() {
  closing_.store(true, std::memory_order_release);
  const std::lock_guard session(sessionMutex_);
  const std::lock_guard send(sendMutex_);
  connection_.reset();
}

void IrcBotMFC::SetSettings(const IrcClientSettings& settings) {
  const std::lock_guard lock(sendMutex_);
  platform::CopyToField(serverName_, settings.serverName);
  platform::CopyToField(nickname_, settings.nickname);
  platform::CopyToField(channel_, settings.channel);
  platform::CopyToField(userId_, settings.userId);
  textColour_ = settings.textColour;
  backgroundColour_ = settings.backgroundColour;
}

std::string IrcBotMFC::Channel() const {
  const std::lock_guard lock(sendMutex_);
  return std::string(platform::FieldText(channel_));
}

IrcBotMFC::Identity IrcBotMFC::CopyIdentity() const {
  const std::lock_guard lock(sendMutex_);
  return {std::string(platform::FieldText(serverName_)),
          std::string(platform::FieldText(nickname_)), std::string(platform::FieldText(channel_)),
          std::string(platform::FieldText(userId_))};
}

bool IrcBotMFC::Connect() {
  const std::lock_guard session(sessionMutex_);
  const Identity identity = CopyIdentity();
  {
    // The old connection goes first: while it stays registered, the server
    // would refuse the nickname to the new one.
    Connection old;
    {
      const std::lock_guard send(sendMutex_);
      old = std::exchange(connection_, nullptr);
    }
  }

  Connection connection;
  try {
    connection = platform::SocketStream::connect(
        identity.serverName, options_.port,
        platform::SocketOptions{options_.connectTimeout, options_.sendTimeout, &closing_});
  } catch (const platform::NetworkError&) {
    // Unreachable or refused: the registration below runs on no connection,
    // its reads failing at once, as they would on a dead socket.
  }

  // Passes 1 and 2 read what the server says first; pass 3 sends NICK and
  // USER; pass 4 sends JOIN. A failed read after NICK and USER retries them
  // with one more underscore on the nickname, three times at most.
  std::string nickname = identity.nickname;
  int step = 0;
  int retries = 0;
  long lastRead = 1;
  do {
    if (step == 3 && lastRead <= 0) {
      nickname += '_';
      ++retries;
    } else {
      ++step;
    }
    if (step == 3) {
      SendDuringRegistration(connection.get(), NickLine(nickname));
      SendDuringRegistration(connection.get(), UserLine(identity.userId));
    } else if (step == 4) {
      SendDuringRegistration(connection.get(), JoinLine(identity.channel));
    }
    lastRead = ReadOnce(connection.get(), options_.readTimeout);
  } while (lastRead != 0 && step < 4 && retries < 3);

  const std::lock_guard send(sendMutex_);
  connection_ = std::move(connection);
  return true;
}

bool IrcBotMFC::Quit() {
  const std::lock_guard session(sessionMutex_);
  Connection connection;
  {
    const std::lock_guard send(sendMutex_);
    SendLocked(kQuitLine);
    // Sends may go on from other threads while this thread drains; the copy
    // keeps the socket open even if a failed send drops it meanwhile.
    connection = connection_;
  }
  if (connection == nullptr) return true;
  const auto deadline = SteadyClock::now() + options_.readTimeout;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    if (left.count() <= 0) break;
    if (ReadOnce(connection.get(), left) <= 0) break;
  }
  return true;
}

bool IrcBotMFC::Say(std::string_view text) {
  const std::lock_guard lock(sendMutex_);
  return SendLocked(ChannelMessageLine(platform::FieldText(channel_), textColour_, text)) > 0;
}

std::ptrdiff_t IrcBotMFC::SendRaw(std::string_view line) {
  const std::lock_guard lock(sendMutex_);
  return SendLocked(line);
}

std::ptrdiff_t IrcBotMFC::SendTopic(std::string_view text) {
  const std::lock_guard lock(sendMutex_);
  return SendLocked(TopicLine(platform::FieldText(channel_), text));
}

void IrcBotMFC::Close() {
  const std::lock_guard session(sessionMutex_);
  Connection old;
  {
    const std::lock_guard send(sendMutex_);
    old = std::exchange(connection_, nullptr);
  }
}

std::ptrdiff_t IrcBotMFC::SendLocked(std::string_view line) {
  const std::string wire = WireLine(line);
  if (connection_ == nullptr || wire.empty()) return 0;
  // A server that has gone away would take one more line without a word.
  if (connection_->peerClosed()) {
    connection_.reset();
    return 0;
  }
  try {
    connection_->writeAll(wire);
    return static_cast<std::ptrdiff_t>(wire.size());
  } catch (const platform::NetworkError&) {
    connection_.reset();
    return 0;
  }
}

}  // namespace larkspan::irc
