#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace larkspan::platform {
namespace {

TEST(CopyToField, CutsToWidthLessOneAndZeroFillsTheRest) {
  char field[8];
  std::memset(field, 'X', sizeof field);
  CopyToField(field, "abc");
  EXPECT_EQ(std::string(field, sizeof field), std::string("abc\0\0\0\0\0", 8));
  CopyToField(field, "0123456789");
  EXPECT_EQ(std::string(field, sizeof field), std::string("0123456\0", 8));
}

TEST(FieldText, StopsAtTheFirstZeroOrTheFieldEnd) {
  const char withZero[6] = {'a', 'b', 0, 'c', 'd', 'e'};
  EXPECT_EQ(FieldText(withZero), "ab");
  const char full[4] = {'w', 'x', 'y', 'z'};
  EXPECT_EQ(FieldText(full), "wxyz");
}

TEST(CutUtf8, NeverSplitsACharacter) {
  const std::string text = "ab\xC3\xA9\xE2\x82\xAC";  // "abé€"
  EXPECT_EQ(CutUtf8(text, 10), text);
  EXPECT_EQ(CutUtf8(text, 4), "ab\xC3\xA9");
  EXPECT_EQ(CutUtf8(text, 3), "ab");
  EXPECT_EQ(CutUtf8(text, 6), "ab\xC3\xA9");
  EXPECT_EQ(CutUtf8(text, 0), "");
  // Latin-1 bytes are characters of their own, whatever UTF-8 makes of them.
  EXPECT_EQ(CutUtf8("caf\xE9\xA9\xA9\xA9\xA9", 7), "caf\xE9\xA9\xA9\xA9");
}

TEST(StoredBytesAsUtf8, KeepsUtf8AndReadsOtherBytesAsLatin1) {
  EXPECT_EQ(StoredBytesAsUtf8("caf\xC3\xA9"), "caf\xC3\xA9");
  EXPECT_EQ(StoredBytesAsUtf8("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(StoredBytesAsUtf8("\xC3"), "\xC3\x83");  // a lone lead byte is Latin-1
}

}  // namespace
}  // namespace larkspan::platform
