#pragma once

#include <stdexcept>
#include <string>

namespace larkspan::platform {

// The one exception type for network failures: name resolution, refused or
// reset connections, time-outs, malformed replies and cancelled waits. Callers
// catch it where a failure becomes a status text and a retry.
class NetworkError : public std::runtime_error {
 public:
  explicit NetworkError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace larkspan::platform
