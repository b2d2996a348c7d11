#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "tests/support/child_process.h"
#include "tests/support/temporary_folder.h"

namespace larkspan::test {

// Debian's ngIRCd on 127.0.0.1 at a port of its own, with a configuration,
// pid file and log written under a temporary folder. Started in the
// foreground and stopped by its process id.
//
// With DNS and Ident lookups off the server says nothing before a client
// registers, so a client that reads first waits for its read time-out. Flood
// throttling applies to ordinary users (after a burst of about four commands,
// about three a second); the operator below may set user mode +F to escape it.
class NgircdServer {
 public:
  static constexpr std::string_view kOperatorName = "reader";
  static constexpr std::string_view kOperatorPassword = "larkspan";
  static constexpr std::string_view kServerName = "irc.larkspan.test";

  // Starts the server and waits until its port accepts connections. Throws
  // std::runtime_error, with the server's log, when it does not come up.
  NgircdServer();
  // Stops the server (SIGTERM, then SIGKILL after a grace period).
  ~NgircdServer();
  NgircdServer(const NgircdServer&) = delete;
  NgircdServer& operator=(const NgircdServer&) = delete;

  // Stops the server, which drops every client, and starts it again on the
  // same port. Throws as the constructor does.
  void restart();

  std::uint16_t port() const { return port_; }
  // What the server has logged so far.
  std::string log() const;

 private:
  void writeConfiguration() const;
  // Starts the process on port_; true when the port accepts connections.
  bool start();

  TemporaryFolder folder_;
  std::uint16_t port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace larkspan::test
