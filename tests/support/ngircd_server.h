#pragma once

#include <memory>
#include <string_view>

#include "tests/support/loopback_port.h"

namespace larkspan::test {

// Debian's ngIRCd on 127.0.0.1 at a port of its own, with a configuration,
// pid file and log written under a temporary folder. Started in the
// foreground and stopped by its process id.
//
// With DNS and Ident lookups off the server says nothing before a client
// registers, so a client that reads first waits for its read time-out. Flood
// throttling applies to ordinary users (after a burst of about four commands,
// about three a second); the operator below may set user mode +F to escape it.
struct NgircdOptions {
  std::uint16_t port = 0;  // a free one when 0
  // Greets before registration (DNS lookups on), as real networks do, so a
  // client that reads first need not wait for its time-out.
  bool greetsFirst = false;
};

class NgircdServer {
 public:
  static constexpr std::string_view kOperatorName = "reader";
  static constexpr std::string_view kOperatorPassword = "larkspan";
  static constexpr std::string_view kServerName = "irc.larkspan.test";

  // Starts the server and waits until its port accepts connections. Throws
  // std::runtime_error, with the server's log, when it does not come up.
  explicit NgircdServer(NgircdOptions options = {}) : greetsFirst_(options.greetsFirst) {
    const std::filesystem::path& folder = folder_.path();
    std::filesystem::create_directories(folder / "run");
    std::filesystem::create_directories(folder / "conf.d");
    // As root ngIRCd drops to nobody by itself, which must then reach its
    // pid folder.
    folder_.handToNobody({"run"});
    // A port taken by another program between the choice and ngIRCd's bind
    // makes it exit; another free port is tried then.
    for (int attempt = 1; !start(options.port != 0 ? options.port : FreeLoopbackPort());
         ++attempt) {
      if (attempt == 3 || options.port != 0)
        throw std::runtime_error("ngIRCd did not come up:\n" + log());
    }
  }
  NgircdServer(const NgircdServer&) = delete;
  NgircdServer& operator=(const NgircdServer&) = delete;

  // Stops the server, which drops every client, and starts it again on the
  // same port. Throws as the constructor does.
  void restart() {
    process_.reset();
    if (!start(port_)) throw std::runtime_error("ngIRCd did not come back:\n" + log());
  }

  std::uint16_t port() const { return port_; }
  // What the server has logged so far.
  std::string log() const { return ReadFile(folder_.path() / "ngircd.log"); }

 private:
  // Starts the process on `port`; true when the port accepts connections.
  bool start(std::uint16_t port) {
    port_ = port;
    const std::filesystem::path& folder = folder_.path();
    std::ofstream(folder / "ngircd.conf", std::ios::trunc)
        << "[Global]\nName = " << kServerName << "\nInfo = Larkspan test server\n"
        << "AdminInfo1 = Larkspan tests\nAdminInfo2 = loopback only\nAdminEMail = tests@localhost\n"
        << "Listen = 127.0.0.1\nPorts = " << port_ << "\nMotdPhrase = Larkspan test server\n"
        << "PidFile = " << (folder / "run" / "ngircd.pid").string() << "\n"
        << (::geteuid() == 0 ? "ServerUID = nobody\nServerGID = nogroup\n" : "")
        << "[Limits]\nMaxConnectionsIP = 0\nMaxJoins = 0\n"
        << "[Options]\nIdent = no\nPAM = no\n"
        << (greetsFirst_ ? "DNS = yes\nNoticeBeforeRegistration = yes\n" : "DNS = no\n")
        // An empty folder: none of the system's configuration snippets.
        << "IncludeDir = " << (folder / "conf.d").string() << "\n"
        << "[Operator]\nName = " << kOperatorName << "\nPassword = " << kOperatorPassword << "\n";
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"ngircd", "-n", "-f", (folder / "ngircd.conf").string()},
        ChildProcess::CurrentEnvironment(), folder / "ngircd.log");
    if (WaitUntilAccepting(port_, std::chrono::seconds(10), process_.get())) return true;
    process_.reset();
    return false;
  }

  TemporaryFolder folder_;
  bool greetsFirst_;
  std::uint16_t port_ = 0;
  // Stopped (SIGTERM, then SIGKILL after a grace period) when it goes.
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace larkspan::test
