#include "monitor/ignore_text.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace larkspan::monitor {
namespace {

using platform::FieldText;

std::string ShortName(const IgnoreSlots& slots, std::size_t slot) {
  return std::string(FieldText(slots.shortNames[slot - 1]));
}
std::string LongName(const IgnoreSlots& slots, std::size_t slot) {
  return std::string(FieldText(slots.longNames[slot - 1]));
}

TEST(IgnoreTextTest, ShortAndLongNamesTakeTheirSlotsAndComeBackShortFirst) {
  IgnoreSlots slots;
  ParseIgnoreText("/jazz, /a-twenty-byte-name-x, /rock", IgnoreList::Mountpoints, slots);
  EXPECT_EQ(slots.shortFlags[0], 1);
  EXPECT_EQ(ShortName(slots, 1), "/jazz");
  EXPECT_EQ(slots.shortFlags[1], 0) << "the long name leaves its short slot empty";
  EXPECT_EQ(slots.shortFlags[2], 1);
  EXPECT_EQ(ShortName(slots, 3), "/rock");
  EXPECT_EQ(slots.longFlags[0], 1);
  EXPECT_EQ(LongName(slots, 1), "/a-twenty-byte-name-x");
  EXPECT_EQ(ComposeIgnoreText(slots, IgnoreList::Mountpoints),
            "/jazz, /rock, /a-twenty-byte-name-x");
}

TEST(IgnoreTextTest, TokensKeepTrailingBlanksAndEmptyTokensHoldTheirPlace) {
  IgnoreSlots slots;
  ParseIgnoreText("  /a  ,, \t,/b,  ", IgnoreList::Mountpoints, slots);
  EXPECT_EQ(ShortName(slots, 1), "/a  ");
  for (std::size_t slot : {2u, 3u}) {
    EXPECT_EQ(slots.shortFlags[slot - 1], 1);
    EXPECT_EQ(ShortName(slots, slot), "");
  }
  EXPECT_EQ(ShortName(slots, 4), "/b");
  EXPECT_EQ(slots.shortFlags[4], 0) << "only blanks after the last comma end the list";
  EXPECT_EQ(ComposeIgnoreText(slots, IgnoreList::Mountpoints), "/a  , , , /b");
}

TEST(IgnoreTextTest, AnEmptyTextClearsEveryNameSlot) {
  IgnoreSlots slots;
  slots.longFlags[20] = 1;
  platform::CopyToField(slots.longNames[20], "/kept-in-a-long-slot-21");
  ParseIgnoreText("/x", IgnoreList::Mountpoints, slots);
  ParseIgnoreText(" \t ", IgnoreList::Mountpoints, slots);
  EXPECT_EQ(slots.shortFlags[0], 0);
  EXPECT_EQ(ShortName(slots, 1), "");
  EXPECT_EQ(slots.longFlags[20], 0);
  EXPECT_EQ(LongName(slots, 21), "");
  EXPECT_EQ(ComposeIgnoreText(slots, IgnoreList::Mountpoints), "");
}

TEST(IgnoreTextTest, TokensPastTheTwentyFourthAndLongNamesPastTheLastSlotAreDropped) {
  std::string text;
  for (int i = 1; i <= 30; ++i) text += "/a-name-longer-than-fifteen-" + std::to_string(i) + ",";
  IgnoreSlots slots;
  ParseIgnoreText(text, IgnoreList::Mountpoints, slots);
  EXPECT_EQ(LongName(slots, 24), "/a-name-longer-than-fifteen-24");
  for (auto flag : slots.shortFlags) EXPECT_EQ(flag, 0);

  ParseIgnoreText(text + "/s", IgnoreList::Mountpoints, slots);
  EXPECT_EQ(LongName(slots, 24), "/a-name-longer-than-fifteen-24");
  EXPECT_EQ(slots.shortFlags[23], 0) << "token 31 is past the last slot";
}

TEST(IgnoreTextTest, NamesOf32BytesOrMoreKeepTheirFirst31) {
  IgnoreSlots slots;
  const std::string name40 = "/" + std::string(39, 'n');
  // 30 ASCII bytes, then two-byte characters from byte 30 on: the cut at 31
  // would split the second one.
  const std::string utf8 = "/" + std::string(29, 'u') + "\xC3\xA9\xC3\xA9\xC3\xA9";
  ParseIgnoreText(name40 + "," + utf8, IgnoreList::Mountpoints, slots);
  EXPECT_EQ(LongName(slots, 1), name40.substr(0, 31));
  EXPECT_EQ(LongName(slots, 2), utf8.substr(0, 31 - 1));
  EXPECT_EQ(slots.longNames[0][31], '\0');
}

TEST(IgnoreTextTest, ExtensionsOfFiveBytesOrMoreLeaveTheirSlotEmpty) {
  IgnoreSlots slots;
  ParseIgnoreText("mp3, flacs, ogg", IgnoreList::Extensions, slots);
  EXPECT_EQ(FieldText(slots.extensions[0]), "mp3");
  EXPECT_EQ(FieldText(slots.extensions[1]), "");
  EXPECT_EQ(FieldText(slots.extensions[2]), "ogg");
  EXPECT_EQ(ComposeIgnoreText(slots, IgnoreList::Extensions), "mp3, ogg");

  ParseIgnoreText("a,b,c,d,e,f,g", IgnoreList::Extensions, slots);
  EXPECT_EQ(ComposeIgnoreText(slots, IgnoreList::Extensions), "a, b, c, d, e, f");
  ParseIgnoreText("", IgnoreList::Extensions, slots);
  EXPECT_EQ(ComposeIgnoreText(slots, IgnoreList::Extensions), "");
}

TEST(IgnoreSlotsTest, StoringKeepsLongSlots13To24AndPlacesShortSlotsInTheirRecords) {
  schedule::ScheduleEntry entry;
  schedule::MonitorOptions options;
  options.longIgnoreFlags[12] = 1;
  platform::CopyToField(options.longIgnoreNames[12], "/stored-long-slot-thirteen");

  std::string text;
  for (int i = 1; i <= 24; ++i)
    text += (i % 2 ? "/s" + std::to_string(i) : "/long-name-number-" + std::to_string(i)) + ",";
  IgnoreSlots slots = ReadIgnoreSlots(entry, options);
  ParseIgnoreText(text, IgnoreList::Mountpoints, slots);
  WriteIgnoreSlots(slots, entry, options);

  EXPECT_EQ(FieldText(entry.shortIgnoreNames[0]), "/s1");
  EXPECT_EQ(FieldText(options.shortIgnoreNames7To12[0]), "/s7");
  EXPECT_EQ(FieldText(options.shortIgnoreNames13To24[10]), "/s23");
  EXPECT_EQ(FieldText(options.longIgnoreNames[11]), "/long-name-number-24");
  EXPECT_EQ(FieldText(options.longIgnoreNames[12]), "/stored-long-slot-thirteen");
  EXPECT_EQ(ComposeIgnoreText(ReadIgnoreSlots(entry, options), IgnoreList::Mountpoints),
            "/s1, /s3, /s5, /s7, /s9, /s11, /s13, /s15, /s17, /s19, /s21, /s23, "
            "/long-name-number-2, /long-name-number-4, /long-name-number-6, "
            "/long-name-number-8, /long-name-number-10, /long-name-number-12, "
            "/long-name-number-14, /long-name-number-16, /long-name-number-18, "
            "/long-name-number-20, /long-name-number-22, /long-name-number-24")
      << "long slot 13 is stored but never shown";
}

}  // namespace
}  // namespace larkspan::monitor
