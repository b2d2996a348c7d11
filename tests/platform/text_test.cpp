#include "platform/text.h"

#include <gtest/gtest.h>

namespace larkspan::platform {
namespace {

TEST(FixedFields, CutToWidthLessOneZeroFilledAndReadToTheFirstZero) {
  char field[8];
  CopyToField(field, "0123456789");
  EXPECT_EQ(std::string(field, sizeof field), std::string("0123456\0", 8));
  CopyToField(field, "abc");
  EXPECT_EQ(std::string(field, sizeof field), std::string("abc\0\0\0\0\0", 8));
  const char full[4] = {'w', 'x', 'y', 'z'};
  EXPECT_EQ(FieldText(full), "wxyz");
}

TEST(Utf8, CutsNeverSplitACharacterAndOtherBytesReadAsLatin1) {
  const std::string text = "ab\xC3\xA9\xE2\x82\xAC";  // "abé€"
  for (const auto& [bytes, kept] : {std::pair{10, 7}, {6, 4}, {4, 4}, {3, 2}, {0, 0}})
    EXPECT_EQ(CutUtf8(text, bytes), text.substr(0, kept)) << bytes;
  // Latin-1 bytes are characters of their own, whatever UTF-8 makes of them.
  EXPECT_EQ(CutUtf8("caf\xE9\xA9\xA9\xA9\xA9", 7), "caf\xE9\xA9\xA9\xA9");
  EXPECT_EQ(StoredBytesAsUtf8("caf\xC3\xA9"), "caf\xC3\xA9");
  EXPECT_EQ(StoredBytesAsUtf8("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(StoredBytesAsUtf8("\xC3"), "\xC3\x83");  // a lone lead byte is Latin-1
}

}  // namespace
}  // namespace larkspan::platform
