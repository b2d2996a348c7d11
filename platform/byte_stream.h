#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace larkspan::platform {

// A two-way byte stream: a socket, or bytes in memory for tests and fuzzing.
class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // Waits for data and returns what has arrived, at most `max` bytes; 0 at
  // the end of the stream. Throws NetworkError on a failure, a time-out or a
  // cancelled wait.
  virtual std::size_t readSome(char* buffer, std::size_t max) = 0;
  // Sends all of `data`. Throws NetworkError on a failure.
  virtual void writeAll(std::string_view data) = 0;
  // From now on a read that waits is woken only once `bytes` have arrived,
  // or at the end of the stream, a failure or a stop, instead of at every
  // packet; fewer bytes are still handed out within about a second and never
  // held past the time-out. For long streams read in pieces, where the
  // wake-ups cost more than the bytes. Without effect here.
  virtual void setReadLowWater(std::size_t /*bytes*/) {}
};

// Serves a fixed text, at most `slice` bytes per read, to exercise short
// reads; what is written is collected.
class MemoryStream final : public ByteStream {
 public:
  explicit MemoryStream(std::string input, std::size_t slice = static_cast<std::size_t>(-1))
      : input_(std::move(input)), slice_(slice == 0 ? 1 : slice) {}

  std::size_t readSome(char* buffer, std::size_t max) override;
  void writeAll(std::string_view data) override { written_.append(data); }

  // When set, reading past the end throws instead of returning 0.
  void failAtEnd(bool fail) { failAtEnd_ = fail; }
  const std::string& written() const { return written_; }

 private:
  std::string input_;
  std::size_t position_ = 0;
  std::size_t slice_;
  bool failAtEnd_ = false;
  std::string written_;
};

}  // namespace larkspan::platform
