#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "tests/support/child_process.h"
#include "tests/support/temporary_folder.h"

namespace larkspan::test {

// A throw-away certificate authority made with the `openssl` command, and the
// server certificates it signs. Throws std::runtime_error when openssl fails.
class TestCertificateAuthority {
 public:
  TestCertificateAuthority();

  // The authority's own certificate (PEM), the file a client trusts.
  const std::filesystem::path& certificate() const { return certificate_; }

  // A PEM file holding a server certificate for `subjectAltName` (as the
  // openssl extension says it: "IP:127.0.0.1,DNS:localhost") and then its
  // key, as Icecast and `openssl s_server` take them.
  std::filesystem::path issue(std::string_view subjectAltName) const;

 private:
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
                         const std::filesystem::path& sniCertificate = {});

  std::uint16_t port() const { return port_; }

 private:
  std::uint16_t port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace larkspan::test
