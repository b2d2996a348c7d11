#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/byte_stream.h"

namespace larkspan::platform {

// Reads one HTTP/1.0 or HTTP/1.1 reply from a byte stream: the head, then the
// body in blocking reads. Never trusts a length from the other side: the head
// is bounded, chunk sizes are checked, and bytes kept for a replay are capped.
//
// A reply whose first line does not begin with "HTTP/" (a Shoutcast server's
// "ICY 200 OK", or garbage) is status 200 with an empty head, and all of it,
// first line included, is body.
class HttpReply {
 public:
  static constexpr std::size_t kMaxHeadBytes = 64 * 1024;
  static constexpr std::size_t kDefaultKeepLimit = 4 * 1024 * 1024;

  // `keepLimit` bounds the body bytes kept so that seekToBodyStart() can
  // replay them.
  explicit HttpReply(ByteStream& stream, std::size_t keepLimit = kDefaultKeepLimit);

  // Reads the reply head. Throws NetworkError on a failure or a malformed head.
  void readHead();

  int statusCode() const { return statusCode_; }
  // The status line and header lines, each ended by CR LF, then an empty line;
  // empty for a reply without an HTTP status line.
  const std::string& rawHead() const { return rawHead_; }

  // Blocks until `count` body bytes have arrived or the body has ended.
  // Returns fewer only at the end, then 0. A failure after some bytes of this
  // call have arrived returns those bytes and is raised by the next call, so
  // that nothing received is lost; a failure before any byte arrived throws
  // NetworkError.
  std::size_t read(char* buffer, std::size_t count);

  // Makes the next read start again at the first body byte. Throws
  // NetworkError when more body has been read than was kept.
  void seekToBodyStart();

  // Stops keeping body bytes; a later seekToBodyStart() fails. A replay
  // under way still runs, and its copy is freed once it has been read.
  void dropKeptBytes();

  // Body bytes held for a replay.
  std::size_t keptBytes() const { return kept_.size(); }

 private:
  enum class BodyMode { Empty, UntilClose, Length, Chunked };
  enum class ChunkState { SizeLine, Data, DataEnd, Trailers, Done };

  // Reads more into the pending buffer, at most `most` bytes; false at the end.
  bool fill(std::size_t most = static_cast<std::size_t>(-1));
  std::size_t pendingSize() const { return pendingEnd_ - pendingBegin_; }
  void compactPending();
  bool readLine(std::string& line, std::size_t maxLength);
  void parseHead(std::size_t headLength);
  std::size_t readBodyFromNetwork(char* buffer, std::size_t max);
  std::size_t readChunked(char* buffer, std::size_t max);
  std::size_t takePending(char* buffer, std::size_t max);
  void keep(const char* data, std::size_t n);
  void freeKept();

  ByteStream& stream_;
  std::vector<char> pending_;
  std::size_t pendingBegin_ = 0;
  std::size_t pendingEnd_ = 0;
  bool streamEnded_ = false;

  int statusCode_ = 0;
  std::string rawHead_;
  BodyMode mode_ = BodyMode::UntilClose;
  std::uint64_t remaining_ = 0;  // Length: body bytes left; Chunked: bytes left in the chunk
  ChunkState chunkState_ = ChunkState::SizeLine;
  bool bodyEnded_ = false;

  std::string deferredError_;
  bool hasDeferredError_ = false;

  std::size_t keepLimit_;
  std::string kept_;
  bool keptOverflowed_ = false;
  std::size_t replayPosition_ = 0;
  bool replaying_ = false;
};

}  // namespace larkspan::platform
