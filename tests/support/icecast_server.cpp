#include "tests/support/icecast_server.h"

#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/loopback_port.h"

namespace larkspan::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kStopGrace = 5s;

bool RunsAsRoot() {
  return ::geteuid() == 0;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void GiveToNobody(const fs::path& path) {
  const passwd* nobody = ::getpwnam("nobody");
  const group* nogroup = ::getgrnam("nogroup");
  if (nobody == nullptr || nogroup == nullptr ||
      ::chown(path.c_str(), nobody->pw_uid, nogroup->gr_gid) != 0) {
    throw std::runtime_error("cannot hand " + path.string() + " to nobody");
  }
}

// The status of a GET of `path` at 127.0.0.1:`port`; 0 when none came.
int StatusOf(std::uint16_t port, std::string_view path) {
  const int fd = ConnectToLoopback(port);
  if (fd < 0) return 0;
  const timeval timeout{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  const std::string request = "GET " + std::string(path) + " HTTP/1.0\r\n\r\n";
  std::string reply;
  char buffer[4096];
  ssize_t n = ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  while (n > 0 && reply.find("\r\n") == std::string::npos &&
         (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
    reply.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return reply.starts_with("HTTP/") ? std::atoi(reply.c_str() + reply.find(' ') + 1) : 0;
}

}  // namespace

WebRootFile WebRootFile::FromFile(const fs::path& path) {
  if (!fs::is_regular_file(path)) throw std::runtime_error("no such file: " + path.string());
  return {path.filename().string(), ReadText(path)};
}

IcecastServer::IcecastServer(IcecastOptions options) {
  const fs::path& root = folder_.path();
  // Debian's roots hold symbolic links into /etc/icecast2: copy what they
  // point at, so that extra templates can be added beside them.
  fs::copy("/usr/share/icecast2/web", root / "web", fs::copy_options::recursive);
  fs::copy("/usr/share/icecast2/admin", root / "admin", fs::copy_options::recursive);
  for (const WebRootFile& file : options.webRootFiles)
    std::ofstream(root / "web" / file.name, std::ios::binary) << file.content;
  // Where Icecast, running as nobody, can read it.
  if (!options.tlsCertificate.empty()) fs::copy_file(options.tlsCertificate, root / "tls.pem");
  fs::create_directories(root / "log");
  fs::create_directories(root / "run");
  if (RunsAsRoot()) {
    fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    GiveToNobody(root / "log");
    GiveToNobody(root / "run");
  }
  // Another program may take the chosen port before Icecast binds it;
  // Icecast then exits and the next free port is tried.
  for (int attempt = 1;; ++attempt) {
    port_ = FreeLoopbackPort();
    if (!options.tlsCertificate.empty()) tlsPort_ = FreeLoopbackPort();
    writeConfiguration(options);
    if (startOnce()) return;
    stop();
    if (attempt == 3) {
      throw std::runtime_error("Icecast did not come up on port " + std::to_string(port_) + ":\n" +
                               logs());
    }
  }
}

IcecastServer::~IcecastServer() {
  stop();
}

void IcecastServer::stop() {
  if (process_) process_->stop(kStopGrace);
  process_.reset();
}

void IcecastServer::writeConfiguration(const IcecastOptions& options) const {
  const std::string root = folder_.path().string();
  const auto listen = [](std::uint16_t port, std::string_view extra) {
    return "<listen-socket><port>" + std::to_string(port) +
           "</port><bind-address>127.0.0.1</bind-address>" + std::string(extra) +
           "</listen-socket>\n";
  };
  std::ofstream out(folder_.path() / "icecast.xml", std::ios::trunc);
  out << "<icecast><location>loopback</location><admin>tests@localhost</admin>\n"
      << "<hostname>127.0.0.1</hostname><fileserve>1</fileserve>\n"
      << "<limits><clients>" << options.clients << "</clients><sources>" << options.sources
      << "</sources><queue-size>524288</queue-size><client-timeout>30</client-timeout>\n"
      << "<header-timeout>15</header-timeout><source-timeout>10</source-timeout>\n"
      << "<burst-size>" << options.burstSize << "</burst-size></limits>\n"
      << "<authentication><source-password>" << kSourcePassword << "</source-password>\n"
      << "<admin-user>admin</admin-user><admin-password>larkspan-admin</admin-password>\n"
      << "</authentication>\n"
      << listen(port_, "") << (tlsPort_ != 0 ? listen(tlsPort_, "<ssl>1</ssl>") : "")
      << "<paths><basedir>" << root << "</basedir><logdir>" << root << "/log</logdir>\n"
      << "<pidfile>" << root << "/run/icecast.pid</pidfile><webroot>" << root << "/web</webroot>\n"
      << "<adminroot>" << root << "/admin</adminroot>\n"
      << (tlsPort_ != 0 ? "<ssl-certificate>" + root + "/tls.pem</ssl-certificate>\n" : "")
      << "</paths><logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog>\n"
      << "<loglevel>3</loglevel></logging><security><chroot>0</chroot></security></icecast>\n";
  if (!out.flush()) throw std::runtime_error("cannot write the Icecast configuration");
}

bool IcecastServer::startOnce() {
  const fs::path pidFile = folder_.path() / "run" / "icecast.pid";
  fs::remove(pidFile);
  std::vector<std::string> argv = {"icecast2", "-c", (folder_.path() / "icecast.xml").string()};
  // setpriv replaces itself with Icecast, so the pid is Icecast's own.
  if (RunsAsRoot()) {
    argv.insert(argv.begin(), {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
  }
  process_ = std::make_unique<ChildProcess>(argv, ChildProcess::CurrentEnvironment(),
                                            folder_.path() / "icecast.out");
  // A status page alone could come from another server that holds the
  // port; the pid file names the server that answered.
  const auto deadline = std::chrono::steady_clock::now() + 15s;
  while (std::chrono::steady_clock::now() < deadline && process_->running()) {
    if (StatusOf(port_, "/status-json.xsl") == 200 &&
        ReadText(pidFile).starts_with(std::to_string(process_->pid()))) {
      return true;
    }
    std::this_thread::sleep_for(25ms);
  }
  return false;
}

std::string IcecastServer::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::string IcecastServer::tlsUrl(std::string_view path, std::string_view host) const {
  return "https://" + std::string(host) + ":" + std::to_string(tlsPort_) + std::string(path);
}

std::string IcecastServer::sourceUrl(std::string_view mount) const {
  return "icecast://source:" + std::string(kSourcePassword) +
         "@127.0.0.1:" + std::to_string(port_) + std::string(mount);
}

bool IcecastServer::waitForStatus(std::string_view path, int status,
                                  std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (StatusOf(port_, path) != status) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

std::string IcecastServer::logs() const {
  const fs::path& root = folder_.path();
  return ReadText(root / "icecast.out") + ReadText(root / "log" / "error.log") +
         ReadText(root / "log" / "access.log");
}

}  // namespace larkspan::test
