#include "monitor/ignore_rules.h"

#include <gtest/gtest.h>

#include <tuple>

#include "monitor/ignore_slots.h"
#include "monitor/ignore_text.h"
#include "platform/text.h"

namespace larkspan::monitor {
namespace {

using platform::FieldText;
constexpr int kMonday = 2, kTuesday = 4;

TEST(IgnoreRulesTest, TimeRowsStartInclusiveEndExclusiveOnTheirDaysNeverAcrossMidnight) {
  std::array<schedule::IgnoreTimeRow, schedule::kIgnoreTimeRows> rows{
      {{1, kTuesday, 1, 0, 2, 0}, {1, kMonday, 22, 0, 23, 30}, {1, 0x7F, 23, 45, 1, 0}}};
  const std::tuple<int, int, int, bool> cases[] = {
      {22, 0, kMonday, true},   {23, 29, kMonday, true},   {21, 59, kMonday, false},
      {23, 30, kMonday, false}, {22, 30, kTuesday, false}, {1, 59, kTuesday, true},
      {0, 30, kMonday, false},  {23, 50, kMonday, false},  {22, 30, DayBit(-1), false}};
  for (const auto& [hour, minute, day, ignored] : cases)
    EXPECT_EQ(IsIgnoreTime(rows, hour, minute, day), ignored) << hour << ":" << minute;
  rows[0].enabled = 0;
  EXPECT_FALSE(IsIgnoreTime(rows, 1, 30, kTuesday)) << "a disabled row";
}

// Short slot, its pattern and flag, a name, and whether the name is ignored.
// Wildcard pieces, less their leading blanks, match anywhere in order; short
// catch-alls match everything; short slots up to 18 count only when flagged.
// Slot 25 stands for the last long slot, which needs no flag, and slots 0 and
// 30 for the first and the sixth extension, which match the name's end in any
// case.
TEST(IgnoreRulesTest, PatternsMatchExactlyAsWildcardsOrWithoutTheirFirstSlash) {
  const std::tuple<std::size_t, const char*, bool, const char*, bool> cases[] = {
      {1, "/live", true, "/live", true},   {1, "/live", true, "/live2", false},
      {1, "//live", true, "/live", true},  {1, "/test*", true, "/my/test1", true},
      {1, "*a*b", true, "/b-a", false},    {1, "/test*", true, "/Test", false},
      {1, "a**c", true, "abcabc", true},   {1, "*  /li*   ", true, "/live", true},
      {1, "/li *", true, "/live", false},  {1, "qq*.*", true, "/live", false},
      {1, "*", true, "/x", true},          {1, "*.*", true, "/x", true},
      {1, "x*", true, "", true},           {1, "q*.*", true, "/x", true},
      {1, "/x", false, "/x", false},       {7, "/x", false, "/x", false},
      {7, "/x", true, "/x", true},         {13, "/x", false, "/x", false},
      {18, "/x", true, "/x", true},        {18, "/x", false, "/x", false},
      {19, "/x", false, "/x", true},       {19, "", true, "/x", false},
      {25, "/long", false, "/long", true}, {30, "OGG", false, "/r.ogg", true},
      {30, "OGG", false, "/rogg", true},   {30, "OGG", false, "/r.mp3", false},
      {0, "aacp", false, "acp", false},    {0, "ogg", false, "OGG", true}};
  for (const auto& [slot, pattern, flag, name, ignored] : cases) {
    schedule::ScheduleEntry entry;
    schedule::MonitorOptions options;
    IgnoreSlots slots;
    if (slot > 0 && slot < 25) slots.shortFlags[slot - 1] = flag;
    if (slot > 0 && slot < 25) platform::CopyToField(slots.shortNames[slot - 1], pattern);
    WriteIgnoreSlots(slots, entry, options);
    if (slot == 25) platform::CopyToField(options.longIgnoreNames[23], pattern);
    if (slot % 30 == 0) platform::CopyToField(options.ignoredExtensions[slot / 6], pattern);
    EXPECT_EQ(IsIgnoredMountpoint(name, entry, options), ignored) << slot << " " << pattern;
  }
}

// The dialog's text comes back short names first, with empty tokens in their
// places; long names keep 31 bytes, never half a character; the long slots the
// dialog does not show are kept.
TEST(IgnoreTextTest, ParsedTextComesBackAsTheDialogShowsItAndFitsTheSlots) {
  schedule::ScheduleEntry entry;
  schedule::MonitorOptions options;
  platform::CopyToField(options.longIgnoreNames[12], "/stored-long-slot-thirteen");
  IgnoreSlots slots = ReadIgnoreSlots(entry, options);
  ParseIgnoreText("  /a  ,, \t,/b, /sixteen-bytes-x, /" + std::string(39, 'n') + ",/" +
                      std::string(29, 'u') + "\xC3\xA9\xC3\xA9, /rock",
                  IgnoreList::Mountpoints, slots);
  EXPECT_EQ(ComposeIgnoreText(slots, IgnoreList::Mountpoints),
            "/a  , , , /b, /rock, /sixteen-bytes-x, /" + std::string(30, 'n') + ", /" +
                std::string(29, 'u'));
  WriteIgnoreSlots(slots, entry, options);
  EXPECT_EQ(FieldText(options.longIgnoreNames[12]), "/stored-long-slot-thirteen");
  ParseIgnoreText("mp3, flacs, flac,a,b,c,d", IgnoreList::Extensions, slots);
  EXPECT_EQ(ComposeIgnoreText(slots, IgnoreList::Extensions), "mp3, flac, a, b, c");
  EXPECT_EQ(IgnoreDayName(2 | 8), "Monday");
  EXPECT_EQ(IgnoreDayBit("wEDNESDAY"), 8);
}

}  // namespace
}  // namespace larkspan::monitor
