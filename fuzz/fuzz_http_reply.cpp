// Feeds arbitrary bytes to the reply parser as a server's answer, in slices
// chosen by the input, and reads the whole body the way a recording does,
// with a reposition in between: the replay must give back the bytes read
// before it. The first two bytes steer: slice size, a failure at the end of
// the stream, dropping the kept bytes at the reposition, and the read size.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/http_reply.h"
#include "platform/network_error.h"

namespace {

// Small, so that a body read in large steps outgrows it before the reposition.
constexpr std::size_t kKeepLimit = 1024;
constexpr std::size_t kRepositionAfter = 100;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t slice = 1 + data[0] % 64;
  const bool dropKeptBytes = (data[0] & 0x40) != 0;
  // From 1 byte up to twice the reply's read-ahead buffer, finer at the small end.
  const std::size_t readSize = 1 + static_cast<std::size_t>(data[1]) * data[1] / 8;
  const std::string wire(reinterpret_cast<const char*>(data + 2), size - 2);
  larkspan::platform::MemoryStream stream(wire, slice);
  stream.failAtEnd(data[0] & 0x80);
  larkspan::platform::HttpReply reply(stream, kKeepLimit);
  try {
    reply.readHead();
    (void)reply.statusCode();
    (void)reply.rawHead();
    std::string buffer(readSize, '\0');
    std::string body;          // as first read from the network
    std::size_t replayed = 0;  // how much of `body` the replay has given back
    bool replaying = false;
    bool repositioned = false;
    std::size_t total = 0;
    for (;;) {
      const std::size_t n = reply.read(buffer.data(), readSize);
      if (n > readSize) __builtin_trap();
      total += n;
      if (total > wire.size() * 2 + readSize) __builtin_trap();  // bodies never grow
      std::size_t fresh = 0;
      if (replaying) {
        const std::size_t again = std::min(n, body.size() - replayed);
        if (body.compare(replayed, again, buffer, 0, again) != 0) __builtin_trap();
        replayed += again;
        replaying = replayed < body.size();
        fresh = again;
      }
      body.append(buffer, fresh, n - fresh);
      if (!repositioned && body.size() > kRepositionAfter) {
        repositioned = true;
        try {
          reply.seekToBodyStart();
          replaying = true;
        } catch (const larkspan::platform::NetworkError&) {
        }
        if (dropKeptBytes) reply.dropKeptBytes();
      }
      if (n == 0) break;
    }
    if (replaying) __builtin_trap();  // the body ended inside its own replay
  } catch (const larkspan::platform::NetworkError&) {
  }
  return 0;
}
