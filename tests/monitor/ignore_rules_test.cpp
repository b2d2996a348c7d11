#include "monitor/ignore_rules.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace larkspan::monitor {
namespace {

using schedule::IgnoreTimeRow;
using Rows = std::array<IgnoreTimeRow, schedule::kIgnoreTimeRows>;

constexpr int kMonday = 2;
constexpr int kTuesday = 4;

IgnoreTimeRow Row(int days, int startHour, int startMinute, int endHour, int endMinute) {
  return {1,
          static_cast<std::uint8_t>(days),
          static_cast<std::int8_t>(startHour),
          static_cast<std::int8_t>(startMinute),
          static_cast<std::int8_t>(endHour),
          static_cast<std::int8_t>(endMinute)};
}

TEST(IgnoreTimeTest, StartIsInclusiveEndExclusiveOnTheRowsDaysOnly) {
  const Rows rows{Row(kMonday, 22, 0, 23, 30)};
  EXPECT_TRUE(IsIgnoreTime(rows, 22, 0, kMonday));
  EXPECT_TRUE(IsIgnoreTime(rows, 23, 29, kMonday));
  EXPECT_FALSE(IsIgnoreTime(rows, 21, 59, kMonday));
  EXPECT_FALSE(IsIgnoreTime(rows, 23, 30, kMonday));
  EXPECT_FALSE(IsIgnoreTime(rows, 22, 30, kTuesday));
}

TEST(IgnoreTimeTest, RowsAcrossMidnightDisabledRowsAndAnUnknownDayNeverMatch) {
  EXPECT_FALSE(IsIgnoreTime(Rows{Row(0x7F, 23, 0, 1, 0)}, 23, 30, kMonday));
  EXPECT_FALSE(IsIgnoreTime(Rows{Row(0x7F, 23, 0, 1, 0)}, 0, 30, kMonday));
  Rows disabled{Row(0x7F, 0, 0, 23, 59)};
  disabled[0].enabled = 0;
  EXPECT_FALSE(IsIgnoreTime(disabled, 12, 0, kMonday));
  EXPECT_FALSE(IsIgnoreTime(Rows{Row(0x7F, 0, 0, 23, 59)}, 12, 0, DayBit(-1)));
}

TEST(IgnoreTimeTest, AnyOfTheThreeRowsMatchesAndDayBitsAreWeekdayPowers) {
  const Rows rows{Row(kTuesday, 1, 0, 2, 0), Row(kTuesday, 3, 0, 4, 0),
                  Row(1 | kMonday, 10, 15, 10, 16)};
  EXPECT_TRUE(IsIgnoreTime(rows, 10, 15, kMonday));
  EXPECT_TRUE(IsIgnoreTime(rows, 3, 59, kTuesday));
  EXPECT_FALSE(IsIgnoreTime(rows, 2, 30, kTuesday));
  EXPECT_EQ(DayBit(0), 1);
  EXPECT_EQ(DayBit(6), 64);
  EXPECT_EQ(DayBit(7), 0);
}

TEST(MatchWildcardTest, PiecesMatchAnywhereInOrder) {
  EXPECT_TRUE(MatchWildcard("/test", "/test*"));
  EXPECT_TRUE(MatchWildcard("/testing", "/test*"));
  EXPECT_TRUE(MatchWildcard("/my/test1", "/test*"));
  EXPECT_TRUE(MatchWildcard("/a/live.mp3", "*live"));
  EXPECT_TRUE(MatchWildcard("http://h:8000/jazz-hd.ogg", "http://h:8000/*.ogg"));
  EXPECT_TRUE(MatchWildcard("abcabc", "a**c"));
  EXPECT_FALSE(MatchWildcard("/live", "/test*"));
  EXPECT_FALSE(MatchWildcard("/b-a", "*a*b"));
  EXPECT_FALSE(MatchWildcard("/Test", "/test*"));
  EXPECT_FALSE(MatchWildcard("/abcab", "*abc*abc"));
}

TEST(MatchWildcardTest, LeadingBlanksOfAPieceAreSkippedTrailingOnesKept) {
  EXPECT_TRUE(MatchWildcard("/live", "*  /li*"));
  EXPECT_TRUE(MatchWildcard("/live", "/live*  "));
  EXPECT_FALSE(MatchWildcard("/live", "/li *"));
}

TEST(MatchWildcardTest, ShortCatchAllPatternsAndPatternsWithoutAStar) {
  for (const char* pattern : {"*", "*.*", "x*", "**", "q*.*"}) {
    EXPECT_TRUE(MatchWildcard("/anything", pattern)) << pattern;
    EXPECT_TRUE(MatchWildcard("", pattern)) << pattern;
  }
  EXPECT_FALSE(MatchWildcard("/live", "/live"));
  EXPECT_FALSE(MatchWildcard("", ""));
  EXPECT_FALSE(MatchWildcard("/live", "qq*.*")) << "two letters before *.* are not a catch-all";
}

TEST(MatchWildcardTest, OnlyThePatternsFirst1024BytesCount) {
  const std::string pattern = "*" + std::string(1023, 'a') + "b";
  EXPECT_TRUE(MatchWildcard(std::string(1023, 'a'), pattern));
  EXPECT_FALSE(MatchWildcard(std::string(1022, 'a'), pattern));
}

class IgnoredMountpointTest : public ::testing::Test {
 protected:
  void setShort(std::size_t slot, std::string_view name, bool flag = true) {
    if (slot <= 6) {
      entry_.shortIgnoreFlags[slot - 1] = flag;
      platform::CopyToField(entry_.shortIgnoreNames[slot - 1], name);
    } else if (slot <= 12) {
      options_.shortIgnoreFlags7To12[slot - 7] = flag;
      platform::CopyToField(options_.shortIgnoreNames7To12[slot - 7], name);
    } else {
      options_.shortIgnoreFlags13To24[slot - 13] = flag;
      platform::CopyToField(options_.shortIgnoreNames13To24[slot - 13], name);
    }
  }
  bool ignored(std::string_view name) const { return IsIgnoredMountpoint(name, entry_, options_); }

  schedule::ScheduleEntry entry_;
  schedule::MonitorOptions options_;
};

TEST_F(IgnoredMountpointTest, PatternsMatchExactlyByWildcardOrWithoutTheirFirstSlash) {
  EXPECT_FALSE(ignored("/live"));
  setShort(1, "/live");
  EXPECT_TRUE(ignored("/live"));
  EXPECT_FALSE(ignored("/live2"));
  EXPECT_FALSE(ignored("/Live"));
  setShort(1, "//live");
  EXPECT_TRUE(ignored("/live"));
  setShort(1, "/test*");
  EXPECT_TRUE(ignored("/testing"));
  EXPECT_TRUE(ignored("/my/test1"));
  setShort(1, "z*");
  EXPECT_TRUE(ignored("/anything"));
}

TEST_F(IgnoredMountpointTest, EverySlotTakesPartFlagsCountOnlyForShortSlotsUpTo18) {
  for (std::size_t slot : {6u, 7u, 12u, 13u, 18u}) {
    setShort(slot, "/x", false);
    EXPECT_FALSE(ignored("/x")) << "short slot " << slot << " without its flag";
    setShort(slot, "/x", true);
    EXPECT_TRUE(ignored("/x")) << "short slot " << slot;
    setShort(slot, "", false);
  }
  setShort(19, "/x", false);
  EXPECT_TRUE(ignored("/x")) << "short slot 19 is read without its flag";
  setShort(19, "", false);
  setShort(24, "/x", false);
  EXPECT_TRUE(ignored("/x"));
  setShort(24, "", true);
  EXPECT_FALSE(ignored("/x")) << "an empty name never takes part";

  platform::CopyToField(options_.longIgnoreNames[23], "/a-long-mountpoint-name-here");
  EXPECT_TRUE(ignored("/a-long-mountpoint-name-here")) << "long slots need no flag";
}

TEST_F(IgnoredMountpointTest, ExtensionsMatchTheNamesEndWithoutRegardToCase) {
  platform::CopyToField(options_.ignoredExtensions[5], "OGG");
  EXPECT_TRUE(ignored("/radio.ogg"));
  EXPECT_TRUE(ignored("/radioogg")) << "no dot is implied";
  EXPECT_FALSE(ignored("/radio.mp3"));
  platform::CopyToField(options_.ignoredExtensions[0], "aacp");
  EXPECT_FALSE(ignored("acp")) << "a name shorter than the extension";
  EXPECT_TRUE(ignored("/x.AACP"));
}

}  // namespace
}  // namespace larkspan::monitor
