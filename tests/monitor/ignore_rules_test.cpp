#include "monitor/ignore_rules.h"

#include <gtest/gtest.h>

#include "monitor/ignore_slots.h"
#include "platform/text.h"

namespace larkspan::monitor {
namespace {

using Rows = std::array<schedule::IgnoreTimeRow, schedule::kIgnoreTimeRows>;
constexpr int kMonday = 2, kTuesday = 4;

schedule::IgnoreTimeRow Row(int days, int startHour, int startMinute, int endHour, int endMinute) {
  return {1,
          static_cast<std::uint8_t>(days),
          static_cast<std::int8_t>(startHour),
          static_cast<std::int8_t>(startMinute),
          static_cast<std::int8_t>(endHour),
          static_cast<std::int8_t>(endMinute)};
}

TEST(IgnoreTimeTest, StartInclusiveEndExclusiveOnTheRowsDaysInAnyRow) {
  const Rows rows{Row(kTuesday, 1, 0, 2, 0), Row(kMonday, 22, 0, 23, 30)};
  EXPECT_TRUE(IsIgnoreTime(rows, 22, 0, kMonday));
  EXPECT_TRUE(IsIgnoreTime(rows, 23, 29, kMonday));
  EXPECT_FALSE(IsIgnoreTime(rows, 21, 59, kMonday));
  EXPECT_FALSE(IsIgnoreTime(rows, 23, 30, kMonday));
  EXPECT_FALSE(IsIgnoreTime(rows, 22, 30, kTuesday));
  EXPECT_TRUE(IsIgnoreTime(rows, 1, 59, kTuesday));
  EXPECT_FALSE(IsIgnoreTime(rows, 22, 30, DayBit(-1))) << "no local time";
  EXPECT_EQ(DayBit(6), 64);
}

TEST(IgnoreTimeTest, RowsAcrossMidnightAndDisabledRowsNeverMatch) {
  Rows rows{Row(0x7F, 23, 0, 1, 0), Row(0x7F, 0, 0, 23, 59)};
  rows[1].enabled = 0;
  for (int hour : {0, 12, 23}) EXPECT_FALSE(IsIgnoreTime(rows, hour, 30, kMonday)) << hour;
}

TEST(MatchWildcardTest, PiecesLessLeadingBlanksMatchAnywhereInOrder) {
  EXPECT_TRUE(MatchWildcard("/test", "/test*"));
  EXPECT_TRUE(MatchWildcard("/my/test1", "/test*"));
  EXPECT_TRUE(MatchWildcard("http://h:8000/jazz-hd.ogg", "http://h:8000/*.ogg"));
  EXPECT_TRUE(MatchWildcard("abcabc", "a**c"));
  EXPECT_TRUE(MatchWildcard("/live", "*  /li*   "));
  EXPECT_FALSE(MatchWildcard("/live", "/li *")) << "trailing blanks of a piece count";
  EXPECT_FALSE(MatchWildcard("/b-a", "*a*b")) << "in order";
  EXPECT_FALSE(MatchWildcard("/Test", "/test*")) << "case-sensitive";
}

TEST(MatchWildcardTest, ShortCatchAllsMatchEverythingPatternsWithoutAStarNothing) {
  for (const char* pattern : {"*", "*.*", "x*", "**", "q*.*"}) {
    EXPECT_TRUE(MatchWildcard("", pattern)) << pattern;
    EXPECT_TRUE(MatchWildcard("/anything", pattern)) << pattern;
  }
  EXPECT_FALSE(MatchWildcard("/live", "/live"));
  EXPECT_FALSE(MatchWildcard("/live", "qq*.*"));
}

class IgnoredMountpointTest : public ::testing::Test {
 protected:
  // Sets slot `k` (from 1) through the dialog's working copy, so that it
  // lands wherever the stored records keep it.
  void setShort(std::size_t k, std::string_view name, bool flag) {
    IgnoreSlots slots = ReadIgnoreSlots(entry_, options_);
    slots.shortFlags[k - 1] = flag;
    platform::CopyToField(slots.shortNames[k - 1], name);
    WriteIgnoreSlots(slots, entry_, options_);
  }
  bool ignored(std::string_view name) const { return IsIgnoredMountpoint(name, entry_, options_); }

  schedule::ScheduleEntry entry_;
  schedule::MonitorOptions options_;
};

TEST_F(IgnoredMountpointTest, PatternsMatchExactlyAsWildcardsOrWithoutTheirFirstSlash) {
  setShort(1, "/live", true);
  EXPECT_TRUE(ignored("/live"));
  EXPECT_FALSE(ignored("/live2"));
  setShort(1, "//live", true);
  EXPECT_TRUE(ignored("/live"));
  setShort(1, "/test*", true);
  EXPECT_TRUE(ignored("/my/test1"));
  setShort(1, "z*", true);
  EXPECT_TRUE(ignored("/anything"));
}

TEST_F(IgnoredMountpointTest, FlagsCountForShortSlotsUpTo18OnlyAndEmptyNamesNever) {
  for (std::size_t k : {1u, 7u, 13u, 18u}) {
    setShort(k, "/x", false);
    EXPECT_FALSE(ignored("/x")) << "short slot " << k << " without its flag";
    setShort(k, "/x", true);
    EXPECT_TRUE(ignored("/x")) << "short slot " << k;
    setShort(k, "", true);
  }
  setShort(19, "/x", false);
  EXPECT_TRUE(ignored("/x"));
  setShort(19, "", true);
  EXPECT_FALSE(ignored("/x"));
  platform::CopyToField(options_.longIgnoreNames[23], "/a-long-mountpoint-name");
  EXPECT_TRUE(ignored("/a-long-mountpoint-name")) << "long slots need no flag";
}

TEST_F(IgnoredMountpointTest, ExtensionsMatchTheEndWithoutRegardToCaseOrADot) {
  platform::CopyToField(options_.ignoredExtensions[5], "OGG");
  EXPECT_TRUE(ignored("/radio.ogg"));
  EXPECT_TRUE(ignored("/radioogg"));
  EXPECT_FALSE(ignored("/radio.mp3"));
  platform::CopyToField(options_.ignoredExtensions[0], "aacp");
  EXPECT_FALSE(ignored("acp")) << "shorter than the extension";
}

}  // namespace
}  // namespace larkspan::monitor
