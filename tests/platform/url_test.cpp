#include "platform/url.h"

#include <gtest/gtest.h>

namespace larkspan::platform {
namespace {

UrlParts Http(std::string server, std::string object, std::uint16_t port) {
  return {ServiceType::Http, std::move(server), std::move(object), port};
}

TEST(SplitUrl, SplitsServerPortAndObjectWithQuery) {
  EXPECT_EQ(SplitUrl("http://other:8000/live"), Http("other", "/live", 8000));
  EXPECT_EQ(SplitUrl("HTTP://Host.Example/a/b.mp3?x=1&y=2"),
            Http("Host.Example", "/a/b.mp3?x=1&y=2", 80));
  EXPECT_EQ(SplitUrl("http://host"), Http("host", "/", 80));
  EXPECT_EQ(SplitUrl("http://host:8000"), Http("host", "/", 8000));
  EXPECT_EQ(SplitUrl("http://host?q"), Http("host", "/?q", 80));
  EXPECT_EQ(SplitUrl("http://user:pw@host:81/x"), Http("host", "/x", 81));
  EXPECT_EQ(SplitUrl("http://[::1]:8000/live.ogg"), Http("::1", "/live.ogg", 8000));
  EXPECT_EQ(SplitUrl("http://10.0.0.1:8000/live#frag"), Http("10.0.0.1", "/live", 8000));
}

TEST(SplitUrl, HttpsHasPort443AndOtherSchemesSplitButAreNotHttp) {
  EXPECT_EQ(SplitUrl("https://host/x"), (UrlParts{ServiceType::Https, "host", "/x", 443}));
  EXPECT_EQ(SplitUrl("HTTPS://[::1]:8443"), (UrlParts{ServiceType::Https, "::1", "/", 8443}));
  EXPECT_EQ(SplitUrl("ftp://files.example/x.mp3"),
            (UrlParts{ServiceType::Other, "files.example", "/x.mp3", 80}));
  EXPECT_EQ(SplitUrl("httpss://host/")->service, ServiceType::Other);
}

TEST(SplitUrl, RejectsWhatCannotBeARequestTarget) {
  EXPECT_FALSE(SplitUrl("host:8000/live"));  // no "://"
  EXPECT_FALSE(SplitUrl(""));
  EXPECT_FALSE(SplitUrl("://host/"));
  EXPECT_FALSE(SplitUrl("http:///path"));
  EXPECT_FALSE(SplitUrl("http://host:0/"));
  EXPECT_FALSE(SplitUrl("http://host:65536/"));
  EXPECT_FALSE(SplitUrl("http://host:80a/"));
  EXPECT_FALSE(SplitUrl("http://host:123456/"));
  EXPECT_FALSE(SplitUrl("http://ho st/"));
  EXPECT_FALSE(SplitUrl("http://host\r\nX-Injected: 1/"));
  EXPECT_FALSE(SplitUrl("http://[::1/"));
  EXPECT_FALSE(SplitUrl("ht/tp://host/"));
}

TEST(SplitUrl, HandlesUrlsLongerThanAnyField) {
  const std::string path(5000, 'a');
  const auto parts = SplitUrl("http://host/" + path);
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->object.size(), path.size() + 1);
}

}  // namespace
}  // namespace larkspan::platform
