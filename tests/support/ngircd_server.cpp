#include "tests/support/ngircd_server.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "tests/support/loopback_port.h"

namespace larkspan::test {
namespace {

namespace fs = std::filesystem;

// As root ngIRCd drops to nobody by itself, which must then reach its pid
// folder; as anyone else it keeps the user it was started as.
bool RunsAsRoot() {
  return ::geteuid() == 0;
}

}  // namespace

NgircdServer::NgircdServer() {
  const fs::path& folder = folder_.path();
  fs::create_directories(folder / "run");
  fs::create_directories(folder / "conf.d");
  if (RunsAsRoot()) {
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    const passwd* nobody = ::getpwnam("nobody");
    const group* nogroup = ::getgrnam("nogroup");
    if (nobody == nullptr || nogroup == nullptr ||
        ::chown((folder / "run").c_str(), nobody->pw_uid, nogroup->gr_gid) != 0) {
      throw std::runtime_error("cannot hand the ngIRCd pid folder to nobody");
    }
  }
  // A port taken by another program between the choice and ngIRCd's bind
  // makes it exit; another free port is tried then.
  for (int attempt = 1;; ++attempt) {
    port_ = FreeLoopbackPort();
    writeConfiguration();
    if (start()) return;
    if (attempt == 3) {
      throw std::runtime_error("ngIRCd did not come up on port " + std::to_string(port_) + ":\n" +
                               log());
    }
  }
}

void NgircdServer::restart() {
  process_->stop();
  if (!start()) {
    throw std::runtime_error("ngIRCd did not come back on port " + std::to_string(port_) + ":\n" +
                             log());
  }
}

bool NgircdServer::start() {
  process_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"ngircd", "-n", "-f", (folder_.path() / "ngircd.conf").string()},
      ChildProcess::CurrentEnvironment(), folder_.path() / "ngircd.log");
  if (WaitUntilAccepting(port_, std::chrono::seconds(10), process_.get())) return true;
  process_->stop();
  return false;
}

NgircdServer::~NgircdServer() {
  if (process_) process_->stop();
}

std::string NgircdServer::log() const {
  std::ifstream in(folder_.path() / "ngircd.log");
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void NgircdServer::writeConfiguration() const {
  const fs::path& folder = folder_.path();
  std::ofstream out(folder / "ngircd.conf", std::ios::trunc);
  out << "[Global]\nName = " << kServerName << "\nInfo = Larkspan test server\n"
      << "AdminInfo1 = Larkspan tests\nAdminInfo2 = loopback only\nAdminEMail = tests@localhost\n"
      << "Listen = 127.0.0.1\nPorts = " << port_ << "\nMotdPhrase = Larkspan test server\n"
      << "PidFile = " << (folder / "run" / "ngircd.pid").string() << "\n"
      << (RunsAsRoot() ? "ServerUID = nobody\nServerGID = nogroup\n" : "")
      << "[Limits]\nMaxConnectionsIP = 0\nMaxJoins = 0\n"
      << "[Options]\nDNS = no\nIdent = no\nPAM = no\n"
      << "IncludeDir = " << (folder / "conf.d").string() << "\n"
      << "[Operator]\nName = " << kOperatorName << "\nPassword = " << kOperatorPassword << "\n";
  if (!out.flush()) throw std::runtime_error("cannot write the ngIRCd configuration");
}

}  // namespace larkspan::test
