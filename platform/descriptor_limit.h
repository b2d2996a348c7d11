#pragma once

#include <cerrno>

namespace larkspan::platform {

// Raises the soft limit on open descriptors to the hard limit. Every
// recording holds a socket, a file and its stop signal's descriptor, and a
// desktop's usual soft limit of 1,024 would stop new recordings near 340. Nothing changes when the
// limit cannot be raised.
void RaiseDescriptorLimit();

// True for the errno values that say the process (EMFILE) or the system
// (ENFILE) has no descriptor left.
inline bool IsOutOfDescriptors(int error) {
  return error == EMFILE || error == ENFILE;
}

}  // namespace larkspan::platform
