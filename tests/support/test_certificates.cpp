#include "tests/support/test_certificates.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "tests/support/loopback_port.h"

namespace larkspan::test {
namespace {

namespace fs = std::filesystem;

void RunOpenssl(std::vector<std::string> arguments, const fs::path& folder) {
  arguments.insert(arguments.begin(), "openssl");
  const fs::path output = folder / "openssl.out";
  ChildProcess openssl(arguments, ChildProcess::CurrentEnvironment(), output);
  const int status = openssl.wait();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::ifstream in(output);
    throw std::runtime_error("openssl " + arguments.at(1) +
                             " failed: " + std::string(std::istreambuf_iterator<char>(in), {}));
  }
}

// P-256 keys: made at once, unlike RSA ones.
const std::vector<std::string> kNewKey = {"-newkey", "ec", "-pkeyopt",
                                          "ec_paramgen_curve:prime256v1", "-nodes"};

// Trust is set up before the first test, as the first TLS connection of the
// process, whichever test makes it, fixes the trust store.
class TrustEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { TrustedTestAuthority(); }
};

[[maybe_unused]] const ::testing::Environment* const kTrust =
    ::testing::AddGlobalTestEnvironment(new TrustEnvironment);

}  // namespace

TestCertificateAuthority::TestCertificateAuthority()
    : certificate_(folder_.path() / "authority.pem"), key_(folder_.path() / "authority.key") {
  std::vector<std::string> arguments = {"req",     "-x509",
                                        "-days",   "2",
                                        "-subj",   "/CN=Test Authority",
                                        "-addext", "basicConstraints=critical,CA:TRUE",
                                        "-addext", "keyUsage=critical,keyCertSign",
                                        "-keyout", key_.string(),
                                        "-out",    certificate_.string()};
  arguments.insert(arguments.end(), kNewKey.begin(), kNewKey.end());
  RunOpenssl(arguments, folder_.path());
}

fs::path TestCertificateAuthority::issue(std::string_view subjectAltName) const {
  static std::atomic<int> issued{0};
  const int serial = ++issued;
  const std::string base = (folder_.path() / ("server" + std::to_string(serial))).string();
  std::ofstream(base + ".ext") << "subjectAltName=" << subjectAltName << "\n";
  std::vector<std::string> arguments = {"req",     "-new",        "-subj", "/CN=Test Server",
                                        "-keyout", base + ".key", "-out",  base + ".csr"};
  arguments.insert(arguments.end(), kNewKey.begin(), kNewKey.end());
  RunOpenssl(arguments, folder_.path());
  RunOpenssl({"x509", "-req", "-in", base + ".csr", "-CA", certificate_.string(), "-CAkey",
              key_.string(), "-set_serial", std::to_string(serial + 1), "-days", "2", "-extfile",
              base + ".ext", "-out", base + ".crt"},
             folder_.path());
  // The certificate, then its key.
  std::ofstream out(base + ".pem");
  out << std::ifstream(base + ".crt").rdbuf() << std::ifstream(base + ".key").rdbuf();
  if (!out.flush()) throw std::runtime_error("cannot write " + base + ".pem");
  return base + ".pem";
}

const TestCertificateAuthority& TrustedTestAuthority() {
  static const TestCertificateAuthority authority;
  static const bool trusted = ::setenv("SSL_CERT_FILE", authority.certificate().c_str(), 1) == 0;
  if (!trusted) throw std::runtime_error("cannot set SSL_CERT_FILE");
  return authority;
}

OpensslServer::OpensslServer(const fs::path& certificate, const std::string& sniName,
                             const fs::path& sniCertificate) {
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

}  // namespace larkspan::test
