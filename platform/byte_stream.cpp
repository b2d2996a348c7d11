#include "platform/byte_stream.h"

#include <algorithm>
#include <cstring>

#include "platform/network_error.h"

namespace larkspan::platform {

std::size_t MemoryStream::readSome(char* buffer, std::size_t max) {
  const std::size_t n = std::min({max, slice_, input_.size() - position_});
  if (n == 0 && max > 0 && failAtEnd_) throw NetworkError("connection reset");
  std::memcpy(buffer, input_.data() + position_, n);
  position_ += n;
  return n;
}

}  // namespace larkspan::platform
