#pragma once

#include <atomic>
#include <memory>
#include <string_view>

#include "tests/support/loopback_port.h"

namespace larkspan::test {

// A throw-away certificate authority made with the `openssl` command, and the
// server certificates it signs. Throws std::runtime_error when openssl fails.
class TestCertificateAuthority {
 public:
  TestCertificateAuthority()
      : certificate_(folder_.path() / "authority.pem"), key_(folder_.path() / "authority.key") {
    openssl({"req", "-x509", "-days", "2", "-subj", "/CN=Test Authority", "-addext",
             "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign",
             "-keyout", key_.string(), "-out", certificate_.string()});
  }

  // The authority's own certificate (PEM), the file a client trusts.
  const std::filesystem::path& certificate() const { return certificate_; }

  // A PEM file holding a server certificate for `subjectAltName` (as the
  // openssl extension says it: "IP:127.0.0.1,DNS:localhost") and then its
  // key, as Icecast and `openssl s_server` take them.
  std::filesystem::path issue(std::string_view subjectAltName) const {
    static std::atomic<int> issued{0};
    const int serial = ++issued;
    const std::string base = (folder_.path() / ("server" + std::to_string(serial))).string();
    std::ofstream(base + ".ext") << "subjectAltName=" << subjectAltName << "\n";
    openssl({"req", "-new", "-subj", "/CN=Test Server", "-keyout", base + ".key", "-out",
             base + ".csr"});
    openssl({"x509", "-req", "-in", base + ".csr", "-CA", certificate_.string(), "-CAkey",
             key_.string(), "-set_serial", std::to_string(serial + 1), "-days", "2", "-extfile",
             base + ".ext", "-out", base + ".crt"});
    // The certificate, then its key.
    std::ofstream out(base + ".pem");
    out << std::ifstream(base + ".crt").rdbuf() << std::ifstream(base + ".key").rdbuf();
    if (!out.flush()) throw std::runtime_error("cannot write " + base + ".pem");
    return base + ".pem";
  }

 private:
  // Runs openssl with `arguments`; a request comes with a new key: P-256,
  // made at once, unlike RSA keys.
  void openssl(std::vector<std::string> arguments) const {
    if (arguments.front() == "req")
      arguments.insert(arguments.end(),
                       {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"});
    arguments.insert(arguments.begin(), "openssl");
    std::string printed;
    if (!RunToEnd(arguments, printed))
      throw std::runtime_error("openssl " + arguments.at(1) + " failed: " + printed);
  }

  TemporaryFolder folder_;
  std::filesystem::path certificate_;
  std::filesystem::path key_;
};

// The authority this process trusts: made before the first test of a test
// program that links this file, pointing SSL_CERT_FILE at it. The program
// reads its trust store once, at its first TLS connection, so every test of
// a process shares this one, and programs the tests start inherit it. Its
// certificates verify; another authority's do not.
const TestCertificateAuthority& TrustedTestAuthority();

// `openssl s_server` on 127.0.0.1 at a free port, answering a GET with a
// page of its own (200). A client that sends `sniName` as SNI gets
// `sniCertificate` instead of `certificate`. Stopped by its process id.
class OpensslServer {
 public:
  explicit OpensslServer(const std::filesystem::path& certificate, const std::string& sniName = {},
                         const std::filesystem::path& sniCertificate = {}) {
    // Another program may take the chosen port first; the next one is tried.
    for (int attempt = 0; attempt < 3; ++attempt) {
      port_ = FreeLoopbackPort();
      std::vector<std::string> arguments = {"openssl", "s_server",
                                            "-quiet",  "-www",
                                            "-accept", "127.0.0.1:" + std::to_string(port_),
                                            "-cert",   certificate.string()};
      if (!sniName.empty())
        arguments.insert(arguments.end(),
                         {"-servername", sniName, "-cert2", sniCertificate.string()});
      process_ = std::make_unique<ChildProcess>(arguments, ChildProcess::CurrentEnvironment());
      if (WaitUntilAccepting(port_, std::chrono::seconds(10), process_.get())) return;
    }
    throw std::runtime_error("openssl s_server did not come up");
  }

  std::uint16_t port() const { return port_; }

 private:
  std::uint16_t port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace larkspan::test
