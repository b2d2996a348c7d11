#include "tests/support/ngircd_server.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/support/loopback_port.h"

namespace larkspan::test {
namespace {

namespace fs = std::filesystem;

constexpr std::chrono::seconds kStartTimeout{10};
// A port taken by another program between the choice and ngIRCd's bind
// makes it exit; another free port is tried then.
constexpr int kStartAttempts = 3;

fs::path ConfigurationFile(const fs::path& folder) {
  return folder / "ngircd.conf";
}
fs::path LogFile(const fs::path& folder) {
  return folder / "ngircd.log";
}
fs::path PidFolder(const fs::path& folder) {
  return folder / "run";
}

// As root ngIRCd drops to nobody by itself, which must then reach its pid
// folder; as anyone else it keeps the user it was started as.
bool RunsAsRoot() {
  return ::geteuid() == 0;
}

void PreparePidFolder(const fs::path& folder) {
  fs::create_directories(PidFolder(folder));
  if (!RunsAsRoot()) return;
  fs::permissions(folder, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  const passwd* nobody = ::getpwnam("nobody");
  const group* nogroup = ::getgrnam("nogroup");
  if (nobody == nullptr || nogroup == nullptr ||
      ::chown(PidFolder(folder).c_str(), nobody->pw_uid, nogroup->gr_gid) != 0) {
    throw std::runtime_error("cannot hand the ngIRCd pid folder to nobody");
  }
}

}  // namespace

NgircdServer::NgircdServer() {
  PreparePidFolder(folder_.path());
  fs::create_directories(folder_.path() / "conf.d");
  for (int attempt = 1;; ++attempt) {
    port_ = FreeLoopbackPort();
    writeConfiguration();
    if (start()) return;
    if (attempt == kStartAttempts) {
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
      std::vector<std::string>{"ngircd", "-n", "-f", ConfigurationFile(folder_.path()).string()},
      ChildProcess::CurrentEnvironment(), LogFile(folder_.path()));
  if (WaitUntilAccepting(port_, kStartTimeout, process_.get())) return true;
  process_->stop();
  return false;
}

NgircdServer::~NgircdServer() {
  if (process_) process_->stop();
}

std::string NgircdServer::log() const {
  std::ifstream in(LogFile(folder_.path()));
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void NgircdServer::writeConfiguration() const {
  std::ofstream out(ConfigurationFile(folder_.path()), std::ios::trunc);
  out << "[Global]\n"
      << "Name = " << kServerName << "\n"
      << "Info = Larkspan test server\n"
      << "AdminInfo1 = Larkspan tests\n"
      << "AdminInfo2 = loopback only\n"
      << "AdminEMail = tests@localhost\n"
      << "Listen = 127.0.0.1\n"
      << "Ports = " << port_ << "\n"
      << "MotdPhrase = Larkspan test server\n"
      << "PidFile = " << (PidFolder(folder_.path()) / "ngircd.pid").string() << "\n";
  if (RunsAsRoot()) out << "ServerUID = nobody\nServerGID = nogroup\n";
  out << "[Limits]\n"
      << "MaxConnectionsIP = 0\n"
      << "MaxJoins = 0\n"
      << "[Options]\n"
      << "DNS = no\n"
      << "Ident = no\n"
      << "PAM = no\n"
      << "IncludeDir = " << (folder_.path() / "conf.d").string() << "\n"
      << "[Operator]\n"
      << "Name = " << kOperatorName << "\n"
      << "Password = " << kOperatorPassword << "\n";
  if (!out.flush()) throw std::runtime_error("cannot write the ngIRCd configuration");
}

}  // namespace larkspan::test
