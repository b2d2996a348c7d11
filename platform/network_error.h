#pragma once

#include <stdexcept>
#include <string>

#include "platform/descriptor_limit.h"

namespace larkspan::platform {

// The one exception type for network failures: name resolution, refused or
// reset connections, time-outs, malformed replies and cancelled waits. Callers
// catch it where a failure becomes a status text and a retry. Its text is the
// reason as a user can read it ("cannot connect to host:8000: Connection
// refused"); `systemError` is the errno value behind it, 0 when there is none.
class NetworkError : public std::runtime_error {
 public:
  explicit NetworkError(const std::string& what, int systemError = 0)
      : std::runtime_error(what), systemError_(systemError) {}

  int systemError() const { return systemError_; }
  // No descriptor was left for a socket: the process or the system is full.
  bool outOfDescriptors() const { return IsOutOfDescriptors(systemError_); }

 private:
  int systemError_;
};

}  // namespace larkspan::platform
