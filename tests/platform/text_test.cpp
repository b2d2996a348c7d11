#include "platform/text.h"
#include "platform/url.h"

#include <gtest/gtest.h>

namespace larkspan::platform {
namespace {

TEST(Text, FieldsAreCutToWidthLessOneAndUtf8CutsNeverSplitACharacter) {
  char field[8];
  CopyToField(field, "0123456789");
  EXPECT_EQ(std::string(field, sizeof field), std::string("0123456\0", 8));
  CopyToField(field, "abc");
  EXPECT_EQ(std::string(field, sizeof field), std::string("abc\0\0\0\0\0", 8));
  EXPECT_EQ(FieldText("wxyzZ", 4), "wxyz") << "a field without a zero is read to its width";

  // UTF-8 cuts never split a character; other bytes read as Latin-1.
  const std::string text = "ab\xC3\xA9\xE2\x82\xAC";  // "abé€"
  for (const auto& [bytes, kept] : {std::pair{10, 7}, {6, 4}, {4, 4}, {3, 2}, {0, 0}})
    EXPECT_EQ(CutUtf8(text, bytes), text.substr(0, kept)) << bytes;
  // Latin-1 bytes are characters of their own, whatever UTF-8 makes of them.
  EXPECT_EQ(CutUtf8("caf\xE9\xA9\xA9\xA9\xA9", 7), "caf\xE9\xA9\xA9\xA9");
  EXPECT_EQ(StoredBytesAsUtf8("caf\xC3\xA9"), "caf\xC3\xA9");
  EXPECT_EQ(StoredBytesAsUtf8("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(StoredBytesAsUtf8("\xC3"), "\xC3\x83");  // a lone lead byte is Latin-1
}

TEST(SplitUrl, SplitsWhatCanBeARequestTargetAndRejectsTheRest) {
  using enum ServiceType;
  const std::string longPath = "/" + std::string(5000, 'a');
  const std::pair<std::string, std::optional<UrlParts>> cases[] = {
      {"http://other:8000/live", UrlParts{Http, "other", "/live", 8000}},
      {"HTTP://Host.Example/a/b.mp3?x=1&y=2", UrlParts{Http, "Host.Example", "/a/b.mp3?x=1&y=2"}},
      {"http://host?q", UrlParts{Http, "host", "/?q"}},
      {"http://user:pw@host:81/x", UrlParts{Http, "host", "/x", 81}},
      {"http://[::1]:8000/live.ogg#frag", UrlParts{Http, "::1", "/live.ogg", 8000}},
      {"https://host", UrlParts{Https, "host", "/", 443}},
      {"HTTPS://[::1]:8443", UrlParts{Https, "::1", "/", 8443}},
      {"ftp://files.example/x.mp3", UrlParts{Other, "files.example", "/x.mp3"}},
      {"http://host" + longPath, UrlParts{Http, "host", longPath}},
  };
  for (const auto& [url, parts] : cases) EXPECT_EQ(SplitUrl(url), parts) << url.substr(0, 40);
  for (const char* url :
       {"host:8000/live", "://host/", "ht/tp://host/", "http:///path", "http://host:0/",
        "http://host:65536/", "http://host:80a/", "http://host:123456/",
        "http://host\r\nX-Injected: 1/", "http://[::1/", "http://[::1]x/"})
    EXPECT_EQ(SplitUrl(url), std::nullopt) << url;
}

}  // namespace
}  // namespace larkspan::platform
