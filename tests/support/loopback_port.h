#pragma once

#include <chrono>
#include <cstdint>

namespace larkspan::test {

class ChildProcess;

// A TCP port on 127.0.0.1 that was free a moment ago (the kernel's choice
// of an ephemeral port). Another program may still take it before the
// caller does.
std::uint16_t FreeLoopbackPort();

// Waits until 127.0.0.1:`port` accepts a connection. Gives up early when
// `server` is given and has ended. True when it accepted within `timeout`.
bool WaitUntilAccepting(std::uint16_t port, std::chrono::milliseconds timeout,
                        ChildProcess* server = nullptr);

// A socket listening on 127.0.0.1 at a port of the kernel's choice, which
// goes into `port`. Throws std::runtime_error when there is none.
int ListenOnLoopback(std::uint16_t& port);

// A socket connected to 127.0.0.1:`port`; -1 when the connection fails.
int ConnectToLoopback(std::uint16_t port);

}  // namespace larkspan::test
