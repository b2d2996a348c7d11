#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace larkspan::platform {
class SocketStream;
}

namespace larkspan::irc {

// The IRC settings the client takes from the profile: when it is created and
// whenever the IRC settings are accepted. Texts longer than their fields are
// cut (server name 31 bytes, nickname 15, channel 23, user ID 15).
struct IrcClientSettings {
  std::string_view serverName = "null";
  std::string_view nickname = "test";
  std::string_view channel = "#sample";
  std::string_view userId = "blank";
  std::uint8_t textColour = 3;
  std::uint8_t backgroundColour = 0;
};

// How the client reaches the server. The program uses the defaults; tests
// point the client at their own server on another port and shorten the waits.
struct IrcConnectionOptions {
  std::uint16_t port = 6667;
  std::chrono::milliseconds connectTimeout{10'000};
  // The longest wait of each registration read and of the reads after QUIT;
  // a read that times out counts as a failed read.
  std::chrono::milliseconds readTimeout{8'000};
  // The longest wait for room to send; a send that times out has failed.
  std::chrono::milliseconds sendTimeout{10'000};
};

// A minimal IRC client: it registers a nickname, joins one channel and then
// only writes. Apart from the registration reads and the reads after QUIT it
// never reads what the server sends.
//
// Thread safety: every member may be called from any thread. Recording
// threads call Say, SendRaw and SendTopic while the window's thread runs
// Connect, Quit and Close; sends are serialised with each other and with the
// replacement of the connection, so a line always leaves whole, on the
// connection that is current when it is sent. Connect registers its new
// connection privately and installs it only when the registration is over,
// so sends never wait for the server's replies. Connect, Quit and Close are
// serialised with each other.
class IrcBotMFC {
 public:
  explicit IrcBotMFC(const IrcClientSettings& settings, IrcConnectionOptions options = {});
  // Closes the connection without QUIT. A Connect or Quit waiting on another
  // thread is cut short.
  virtual ~IrcBotMFC();
  IrcBotMFC(const IrcBotMFC&) = delete;
  IrcBotMFC& operator=(const IrcBotMFC&) = delete;

  // Takes new settings; they apply to the next line sent and, for the server,
  // nickname and user ID, to the next Connect.
  void SetSettings(const IrcClientSettings& settings);
  // The channel the client was given, as stored.
  std::string Channel() const;

  // Closes any current connection, connects to the server and registers:
  // NICK and USER, then JOIN, with up to three retries of the nickname with
  // underscores appended when the server does not answer. Blocks the caller
  // for the connect and the registration reads (each bounded by its time-out).
  // Returns true: POSIX sockets need no library initialisation that could
  // fail, and the outcome of the registration is not reported.
  virtual bool Connect();

  // Sends QUIT and reads until the server closes the connection, a read fails
  // or the read time-out passes in all. The connection object stays until the
  // next Connect or Close. Returns true.
  virtual bool Quit();

  // Posts `text` to the channel in the text colour. True when the send
  // reported a non-zero byte count. Callers may ignore the result.
  virtual bool Say(std::string_view text);

  // Writes `line` as one whole line (WireLine: one line, cut to the
  // server's limit). Returns the number of bytes sent, or 0 when nothing
  // was sent: `line` is empty, or there is no live connection (none was
  // made, the server has closed it, or a send failed). A failed send closes
  // the connection, since part of the line may have left and whatever
  // followed would be glued to it. The keep-alive and the chat window
  // reconnect on 0.
  virtual std::ptrdiff_t SendRaw(std::string_view line);

  // Sends "TOPIC {channel} :{text}\r\n" with the client's channel; the result
  // is SendRaw's.
  std::ptrdiff_t SendTopic(std::string_view text);

  // Closes the connection, if any, without sending anything.
  virtual void Close();

  // Cuts short a Connect or Quit that waits on another thread, and makes
  // every later one end at once: for the program's end, so that it never
  // waits for a server that does not answer.
  void CancelWaits() { closing_.store(true, std::memory_order_release); }

 private:
  struct Identity;
  Identity CopyIdentity() const;
  std::ptrdiff_t SendLocked(std::string_view line);

  // Guarded by sendMutex_.
  char serverName_[32] = {};
  char nickname_[16] = {};
  char channel_[24] = {};
  char userId_[16] = {};
  std::uint8_t textColour_ = 0;
  std::uint8_t backgroundColour_ = 0;
  std::shared_ptr<platform::SocketStream> connection_;

  const IrcConnectionOptions options_;
  // Set by the destructor to cut short a connect or read on another thread.
  std::atomic<bool> closing_{false};
  // Serialises Connect, Quit and Close. Taken before sendMutex_.
  std::mutex sessionMutex_;
  mutable std::mutex sendMutex_;
};

}  // namespace larkspan::irc
