#include "tests/support/test_certificates.h"

#include <gtest/gtest.h>

namespace larkspan::test {
namespace {

// Trust is set up before the first test, as the first TLS connection of the
// process, whichever test makes it, fixes the trust store.
class TrustEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { TrustedTestAuthority(); }
};

[[maybe_unused]] const ::testing::Environment* const kTrust =
    ::testing::AddGlobalTestEnvironment(new TrustEnvironment);

}  // namespace

const TestCertificateAuthority& TrustedTestAuthority() {
  static const TestCertificateAuthority authority;
  static const bool trusted = ::setenv("SSL_CERT_FILE", authority.certificate().c_str(), 1) == 0;
  if (!trusted) throw std::runtime_error("cannot set SSL_CERT_FILE");
  return authority;
}

}  // namespace larkspan::test
