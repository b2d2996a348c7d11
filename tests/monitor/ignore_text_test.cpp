#include "monitor/ignore_text.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace larkspan::monitor {
namespace {

using platform::FieldText;

std::string_view ShortName(const IgnoreSlots& slots, std::size_t k) {
  return FieldText(slots.shortNames[k - 1]);
}
std::string_view LongName(const IgnoreSlots& slots, std::size_t k) {
  return FieldText(slots.longNames[k - 1]);
}

TEST(IgnoreTextTest, ShortAndLongNamesTakeTheirSlotsAndComeBackShortFirst) {
  IgnoreSlots slots;
  ParseIgnoreText("/jazz, /a-twenty-byte-name-x, /rock", IgnoreList::Mountpoints, slots);
  EXPECT_EQ(ShortName(slots, 1), "/jazz");
  EXPECT_EQ(slots.shortFlags[1], 0) << "the long name leaves its short slot empty";
  EXPECT_EQ(ShortName(slots, 3), "/rock");
  EXPECT_EQ(LongName(slots, 1), "/a-twenty-byte-name-x");
  EXPECT_EQ(ComposeIgnoreText(slots, IgnoreList::Mountpoints),
            "/jazz, /rock, /a-twenty-byte-name-x");
}

TEST(IgnoreTextTest, TokensKeepTrailingBlanksAndEmptyOnesHoldTheirPlace) {
  IgnoreSlots slots;
  ParseIgnoreText("  /a  ,, \t,/b,  ", IgnoreList::Mountpoints, slots);
  EXPECT_EQ(ShortName(slots, 1), "/a  ");
  EXPECT_EQ(slots.shortFlags[2], 1);
  EXPECT_EQ(ShortName(slots, 4), "/b");
  EXPECT_EQ(slots.shortFlags[4], 0) << "blanks after the last comma end the list";
  EXPECT_EQ(ComposeIgnoreText(slots, IgnoreList::Mountpoints), "/a  , , , /b");

  ParseIgnoreText(" \t ", IgnoreList::Mountpoints, slots);
  EXPECT_EQ(slots.shortFlags[0], 0);
  EXPECT_EQ(ShortName(slots, 1), "");
  EXPECT_EQ(ComposeIgnoreText(slots, IgnoreList::Mountpoints), "");
}

TEST(IgnoreTextTest, LongNamesKeep31BytesAndSurplusTokensAreDropped) {
  std::string text = "/" + std::string(39, 'n') + ",/" + std::string(29, 'u') + "\xC3\xA9\xC3\xA9,";
  for (int k = 3; k <= 30; ++k) text += "/long-name-number-" + std::to_string(k) + ",";
  IgnoreSlots slots;
  ParseIgnoreText(text, IgnoreList::Mountpoints, slots);
  EXPECT_EQ(LongName(slots, 1), "/" + std::string(30, 'n'));
  EXPECT_EQ(LongName(slots, 2), "/" + std::string(29, 'u')) << "never half a character";
  EXPECT_EQ(LongName(slots, 24), "/long-name-number-24");
}

TEST(IgnoreTextTest, ExtensionsOfFiveBytesOrMoreLeaveTheirSlotEmpty) {
  IgnoreSlots slots;
  ParseIgnoreText("mp3, flacs, ogg", IgnoreList::Extensions, slots);
  EXPECT_EQ(FieldText(slots.extensions[1]), "");
  EXPECT_EQ(ComposeIgnoreText(slots, IgnoreList::Extensions), "mp3, ogg");
  ParseIgnoreText("a,b,c,d,e,f,g", IgnoreList::Extensions, slots);
  EXPECT_EQ(ComposeIgnoreText(slots, IgnoreList::Extensions), "a, b, c, d, e, f");
}

TEST(IgnoreTextTest, StoringWritesShortSlotsToTheirRecordsAndKeepsLongSlots13To24) {
  schedule::ScheduleEntry entry;
  schedule::MonitorOptions options;
  platform::CopyToField(options.longIgnoreNames[12], "/stored-long-slot-thirteen");
  IgnoreSlots slots = ReadIgnoreSlots(entry, options);
  ParseIgnoreText("/1,/2,/3,/4,/5,/6,/7,/8,/9,/10,/11,/12,/13", IgnoreList::Mountpoints, slots);
  WriteIgnoreSlots(slots, entry, options);
  EXPECT_EQ(FieldText(entry.shortIgnoreNames[5]), "/6");
  EXPECT_EQ(FieldText(options.shortIgnoreNames7To12[0]), "/7");
  EXPECT_EQ(FieldText(options.shortIgnoreNames13To24[0]), "/13");
  EXPECT_EQ(FieldText(options.longIgnoreNames[12]), "/stored-long-slot-thirteen");
}

TEST(IgnoreTextTest, DayDropDownShowsTheLowestDayAndReadsNamesInAnyCase) {
  EXPECT_EQ(IgnoreDayName(2 | 8), "Monday");
  EXPECT_EQ(IgnoreDayName(64), "Saturday");
  EXPECT_EQ(IgnoreDayName(0), "Sunday");
  EXPECT_EQ(IgnoreDayBit("wEDNESDAY"), 8);
  EXPECT_EQ(IgnoreDayBit("Wed"), std::nullopt);
}

}  // namespace
}  // namespace larkspan::monitor
