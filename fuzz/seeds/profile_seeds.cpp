// Profiles as the program saves them: an empty schedule; one timed recording;
// a monitored server with ignore rules beside the entries and known
// mountpoints the monitor made for it.
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "fuzz/seeds/seeds.h"
#include "monitor/ignore_slots.h"
#include "monitor/mountpoint_entry.h"
#include "platform/text.h"
#include "schedule/control_text.h"
#include "schedule/name_key.h"
#include "schedule/profile.h"
#include "schedule/profile_records.h"
#include "tests/support/temporary_folder.h"

namespace larkspan::fuzz {
namespace {

using namespace schedule;

std::string Saved(const Profile& profile) {
  const test::TemporaryFolder folder;
  if (!SaveProfile(profile, folder.path())) throw std::runtime_error("cannot save a profile");
  std::ifstream file(folder.path() / kProfileFileName, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

ScheduleEntry TimedEntry(std::string_view program, std::string_view url) {
  ScheduleEntry entry;
  entry.jobSlot = kJobSlotIdle;
  entry.keep = 1;
  CopyControlText(entry.programName, program);
  CopyControlText(entry.url, url);
  entry.nameKey = nameKey(program);
  entry.startHour = 7;
  entry.endHour = 8;
  entry.days = 0b0000010;  // Mondays
  entry.repeating = 1;
  entry.convert = 1;
  entry.deleteOriginal = 1;
  entry.bitrate = 64;
  return entry;
}

void AddMonitoredServer(Profile& profile) {
  ScheduleEntry server = TimedEntry("Larkspan Test FM", "http://127.0.0.1:8000/");
  server.monitorServer = 1;
  server.monitorLevel = 2;
  server.timeout = 30;
  server.ignoreTimes[0] = {.enabled = 1, .days = 0b0111110, .startHour = 22, .endHour = 23};
  server.ignoreTimes[2] = {.enabled = 1, .days = 0b1000001, .startHour = 0, .endHour = 6};
  MonitorOptions options;
  monitor::IgnoreSlots slots;
  slots.shortFlags[0] = 1;
  platform::CopyToField(slots.shortNames[0], "/ads*");
  platform::CopyToField(slots.shortNames[7], "/test");
  slots.shortFlags[19] = 0;  // slots past 18 count without their flag
  platform::CopyToField(slots.shortNames[19], "*relay*");
  platform::CopyToField(slots.longNames[0], "* *live**");
  platform::CopyToField(slots.extensions[0], "aac");
  platform::CopyToField(slots.extensions[5], ".m3u");
  monitor::WriteIgnoreSlots(slots, server, options);
  profile.schedule.appendEntry(server, options);

  for (const char* mount : {"/live.mp3", "/talk.ogg"}) {
    KnownMountpoint known;
    platform::CopyToField(known.url, std::string("http://127.0.0.1:8000") + mount);
    known.ownerKey = server.nameKey;
    profile.knownMountpoints.push_back(known);
  }
  KnownMountpoint pattern;
  platform::CopyToField(pattern.url, "http://127.0.0.1:8000/news*");
  pattern.ownerKey = server.nameKey;
  profile.knownMountpoints.push_back(pattern);
  profile.knownMountpoints.emplace_back();  // removed, waiting to be compacted

  monitor::AddMountpointEntry(
      profile.schedule,
      {.url = "http://127.0.0.1:8000/live.mp3", .monitor = true, .timeout = server.timeout});
  monitor::AddMountpointEntry(profile.schedule, {.url = "http://127.0.0.1:8000/talk.ogg",
                                                 .untilDisconnect = true,
                                                 .fromHour = 9,
                                                 .toHour = 11,
                                                 .toMinute = 30,
                                                 .timeout = server.timeout,
                                                 .todayBit = 0b0001000});
}

}  // namespace

void WriteProfileSeeds(const SeedFolder& profiles) {
  Profile empty;
  empty.settings = DefaultProfileSettings("/home/listener");
  profiles.write("empty.prf", Saved(empty));

  Profile one;
  one.settings = empty.settings;
  platform::CopyToField(one.settings.streamUrl, "http://127.0.0.1:8000/live.mp3");
  platform::CopyToField(one.settings.ircServer, "127.0.0.1");
  platform::CopyToField(one.settings.ircChannel, "#larkspan");
  one.settings.ircAutoPost = 1;
  one.settings.ircUpdateTopic = 1;
  one.schedule.appendEntry(TimedEntry("Morning Show", "http://127.0.0.1:8000/live.mp3"), {});
  profiles.write("one-entry.prf", Saved(one));

  Profile server;
  server.settings = empty.settings;
  AddMonitoredServer(server);
  const std::string full = Saved(server);
  profiles.write("monitored-server.prf", full);

  // The same profile cut off inside and between its sections: in the head,
  // in an entry, after the entries, in the known-mountpoint section, after
  // it, and in the ignore records.
  using namespace records;
  const std::size_t entries = kSettingsSize + server.schedule.count() * kEntrySize;
  const std::size_t known =
      entries + kSectionHeadSize + server.knownMountpoints.size() * kKnownMountpointSize;
  for (const std::size_t length : {kSettingsSize / 2, kSettingsSize + kEntrySize + 100, entries,
                                   entries + kSectionHeadSize / 2, known,
                                   known + kSectionHeadSize + kMonitorOptionsSize / 2}) {
    profiles.write("monitored-server-cut-" + std::to_string(length) + ".prf",
                   full.substr(0, length));
  }
}

}  // namespace larkspan::fuzz
