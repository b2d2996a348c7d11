#include "schedule/recording_names.h"

#include <gtest/gtest.h>

namespace larkspan::schedule {
namespace {

TEST(ScheduledExtension, TakesAShortExtensionOfTheLastPathSegmentOnly) {
  EXPECT_EQ(ScheduledExtension("http://host:8000/live.ogg", false), "ogg");
  EXPECT_EQ(ScheduledExtension("http://radio.example:8000/stream", false), "mp3");
  EXPECT_EQ(ScheduledExtension("http://host/a.b.ogg", false), "mp3");
  EXPECT_EQ(ScheduledExtension("http://host/x.flac", false), "flac");
  EXPECT_EQ(ScheduledExtension("http://host/x.opus1", false), "mp3");
  EXPECT_EQ(ScheduledExtension("http://host/live.ogg", true), "mp3");
  EXPECT_EQ(ScheduledExtension("nodots", false), "mp3");
}

TEST(CleanProgramName, ReplacesReservedCharactersAndTrimsTheEnd) {
  EXPECT_EQ(CleanProgramName("News/Sport:Live"), "News Sport Live");
  EXPECT_EQ(CleanProgramName("a\\b*c\"d<e>f|g?h"), "a b c d e f g h");
  EXPECT_EQ(CleanProgramName(" ?* "), "");
  EXPECT_EQ(CleanProgramName("  Lead  "), "  Lead");
}

TEST(ScheduledOutputName, NamesTheFileAfterTheProgramAndTheDay) {
  EXPECT_EQ(ScheduledOutputName("/rec/Morning Show", "Morning Show", 3, 7, "mp3"),
            "/rec/Morning Show/Morning Show March 7.mp3");
  EXPECT_EQ(ScheduledOutputName("/rec/", "Morning Show", 12, 25, "ogg"),
            "/rec//Morning Show December 25.ogg");
}

}  // namespace
}  // namespace larkspan::schedule
