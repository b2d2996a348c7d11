#include "tests/support/icecast_server.h"

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
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

constexpr auto kStartTimeout = 15s;
constexpr auto kStopGrace = 5s;
constexpr auto kIoTimeout = 5s;
// Another program may take the chosen port before Icecast binds it; Icecast
// then exits and the next free port is tried.
constexpr int kStartAttempts = 3;
constexpr const char* kDebianShare = "/usr/share/icecast2";

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

std::string Base64(std::string_view text) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < text.size(); i += 3) {
    std::uint32_t group = static_cast<std::uint8_t>(text[i]) << 16;
    if (i + 1 < text.size()) group |= static_cast<std::uint8_t>(text[i + 1]) << 8;
    if (i + 2 < text.size()) group |= static_cast<std::uint8_t>(text[i + 2]);
    out += kDigits[(group >> 18) & 63];
    out += kDigits[(group >> 12) & 63];
    out += i + 1 < text.size() ? kDigits[(group >> 6) & 63] : '=';
    out += i + 2 < text.size() ? kDigits[group & 63] : '=';
  }
  return out;
}

class Socket {
 public:
  Socket() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

WebRootFile WebRootFile::FromFile(const fs::path& path) {
  if (!fs::is_regular_file(path)) throw std::runtime_error("no such file: " + path.string());
  return {path.filename().string(), ReadText(path)};
}

IcecastServer::IcecastServer(IcecastOptions options) {
  prepareFolders(options);
  for (int attempt = 1;; ++attempt) {
    port_ = FreeLoopbackPort();
    if (!options.tlsCertificate.empty()) tlsPort_ = FreeLoopbackPort();
    writeConfiguration(options);
    if (startOnce()) return;
    if (process_) process_->stop(kStopGrace);
    if (attempt == kStartAttempts) {
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

void IcecastServer::prepareFolders(const IcecastOptions& options) {
  const fs::path& root = folder_.path();
  webRoot_ = root / "web";
  // Debian's roots hold symbolic links into /etc/icecast2: copy what they
  // point at, so that extra templates can be added beside them.
  fs::copy(fs::path(kDebianShare) / "web", webRoot_, fs::copy_options::recursive);
  fs::copy(fs::path(kDebianShare) / "admin", root / "admin", fs::copy_options::recursive);
  for (const WebRootFile& file : options.webRootFiles) {
    std::ofstream(webRoot_ / file.name, std::ios::binary) << file.content;
  }
  if (!options.tlsCertificate.empty()) {
    // Where Icecast, running as nobody, can read it.
    fs::copy_file(options.tlsCertificate, root / "tls.pem");
  }
  fs::create_directories(root / "log");
  fs::create_directories(root / "run");
  if (RunsAsRoot()) {
    fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    GiveToNobody(root / "log");
    GiveToNobody(root / "run");
  }
}

void IcecastServer::writeConfiguration(const IcecastOptions& options) const {
  const fs::path& root = folder_.path();
  std::ofstream out(root / "icecast.xml", std::ios::trunc);
  out << "<icecast>\n"
      << "  <location>loopback</location>\n"
      << "  <admin>tests@localhost</admin>\n"
      << "  <hostname>127.0.0.1</hostname>\n"
      << "  <limits>\n"
      << "    <clients>" << options.clients << "</clients>\n"
      << "    <sources>" << options.sources << "</sources>\n"
      << "    <queue-size>524288</queue-size>\n"
      << "    <client-timeout>30</client-timeout>\n"
      << "    <header-timeout>15</header-timeout>\n"
      << "    <source-timeout>10</source-timeout>\n"
      << "    <burst-size>" << options.burstSize << "</burst-size>\n"
      << "  </limits>\n"
      << "  <authentication>\n"
      << "    <source-password>" << kSourcePassword << "</source-password>\n"
      << "    <relay-password>" << kSourcePassword << "</relay-password>\n"
      << "    <admin-user>" << kAdminUser << "</admin-user>\n"
      << "    <admin-password>" << kAdminPassword << "</admin-password>\n"
      << "  </authentication>\n"
      << "  <listen-socket>\n"
      << "    <port>" << port_ << "</port>\n"
      << "    <bind-address>127.0.0.1</bind-address>\n"
      << "  </listen-socket>\n";
  if (tlsPort_ != 0) {
    out << "  <listen-socket>\n"
        << "    <port>" << tlsPort_ << "</port>\n"
        << "    <bind-address>127.0.0.1</bind-address>\n"
        << "    <ssl>1</ssl>\n"
        << "  </listen-socket>\n";
  }
  out << "  <fileserve>1</fileserve>\n"
      << "  <paths>\n"
      << "    <basedir>" << root.string() << "</basedir>\n"
      << "    <logdir>" << (root / "log").string() << "</logdir>\n"
      << "    <pidfile>" << (root / "run" / "icecast.pid").string() << "</pidfile>\n"
      << "    <webroot>" << webRoot_.string() << "</webroot>\n"
      << "    <adminroot>" << (root / "admin").string() << "</adminroot>\n";
  if (tlsPort_ != 0)
    out << "    <ssl-certificate>" << (root / "tls.pem").string() << "</ssl-certificate>\n";
  out << "  </paths>\n"
      << "  <logging>\n"
      << "    <accesslog>access.log</accesslog>\n"
      << "    <errorlog>error.log</errorlog>\n"
      << "    <loglevel>3</loglevel>\n"
      << "  </logging>\n"
      << "  <security><chroot>0</chroot></security>\n"
      << "</icecast>\n";
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
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (!process_->running()) return false;
    if (get("/status-json.xsl", false, 0).status == 200 &&
        ReadText(pidFile).find(std::to_string(process_->pid())) == 0) {
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

HttpResult IcecastServer::get(std::string_view path, bool asAdmin, std::size_t maxBody) const {
  HttpResult result;
  const Socket socket;
  const timeval timeout{std::chrono::duration_cast<std::chrono::seconds>(kIoTimeout).count(), 0};
  ::setsockopt(socket.fd(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  ::setsockopt(socket.fd(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port_);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    return result;
  std::string request =
      "GET " + std::string(path) + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port_) + "\r\n";
  if (asAdmin) {
    request += "Authorization: Basic " +
               Base64(std::string(kAdminUser) + ":" + std::string(kAdminPassword)) + "\r\n";
  }
  request += "\r\n";
  if (::send(socket.fd(), request.data(), request.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(request.size()))
    return result;

  std::string reply;
  std::size_t headEnd = std::string::npos;
  char buffer[4096];
  for (;;) {
    if (headEnd != std::string::npos && reply.size() - headEnd >= maxBody) break;
    const ssize_t n = ::recv(socket.fd(), buffer, sizeof buffer, 0);
    if (n <= 0) break;
    reply.append(buffer, static_cast<std::size_t>(n));
    if (headEnd == std::string::npos) {
      const std::size_t end = reply.find("\r\n\r\n");
      if (end != std::string::npos) headEnd = end + 4;
    }
  }
  if (headEnd == std::string::npos || reply.compare(0, 5, "HTTP/") != 0) return result;
  result.head = reply.substr(0, headEnd);
  result.body = reply.substr(headEnd, maxBody);
  result.status = std::atoi(result.head.c_str() + result.head.find(' ') + 1);
  return result;
}

bool IcecastServer::waitUntilMountLive(std::string_view mount,
                                       std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (get(mount, false, 0).status != 200) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

bool IcecastServer::waitUntilMountGone(std::string_view mount,
                                       std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (get(mount, false, 0).status != 404) {
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
