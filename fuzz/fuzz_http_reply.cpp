// Feeds arbitrary bytes to the reply parser as a server's answer, in slices
// chosen by the input, and reads the whole body the way a recording does,
// with a reposition in between.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/http_reply.h"
#include "platform/network_error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t slice = 1 + data[0] % 64;
  const std::size_t readSize = 1 + static_cast<std::size_t>(data[1]) * 8;
  const std::string wire(reinterpret_cast<const char*>(data + 2), size - 2);
  larkspan::platform::MemoryStream stream(wire, slice);
  stream.failAtEnd(data[0] & 0x80);
  larkspan::platform::HttpReply reply(stream, 4096);
  try {
    reply.readHead();
    (void)reply.statusCode();
    (void)reply.rawHead();
    std::string buffer(readSize, '\0');
    std::size_t total = 0;
    bool repositioned = false;
    for (;;) {
      const std::size_t n = reply.read(buffer.data(), readSize);
      if (n > readSize) __builtin_trap();
      total += n;
      if (total > wire.size() * 2 + readSize) __builtin_trap();  // bodies never grow
      if (!repositioned && total > 100) {
        repositioned = true;
        try {
          reply.seekToBodyStart();
        } catch (const larkspan::platform::NetworkError&) {
        }
      }
      if (n == 0) break;
    }
  } catch (const larkspan::platform::NetworkError&) {
  }
  return 0;
}
