// The records of the two sections after the schedule: their heads, the known
// mountpoints and the monitor options.
#include <algorithm>

#include "schedule/profile_records.h"
#include "schedule/record_fields.h"

namespace larkspan::schedule::records {

using namespace detail;

namespace {
enum KnownMountpointOffset : std::size_t { kKnownUrl = 0, kOwnerKey = 256 };

enum MonitorOptionsOffset : std::size_t {
  kShortFlags7To12 = 0,
  kShortNames7To12 = 6,
  kShortFlags13To24 = 102,
  kShortNames13To24 = 114,
  kLongFlags = 306,
  kLongNames = 330,
  kExtensions = 1098,
};
}  // namespace

void EncodeSectionHead(std::int32_t count, SectionHeadBytes out) {
  std::fill(out.begin(), out.end(), std::byte{0});
  le::Put32(out.data(), static_cast<std::uint32_t>(count));
}

std::int32_t DecodeSectionHead(std::span<const std::byte, kSectionHeadSize> in) {
  return static_cast<std::int32_t>(le::Get32(in.data()));
}

void EncodeKnownMountpoint(const KnownMountpoint& known, KnownMountpointBytes out) {
  std::fill(out.begin(), out.end(), std::byte{0});
  PutText(out.data(), kKnownUrl, known.url);
  le::Put32(out.data() + kOwnerKey, static_cast<std::uint32_t>(known.ownerKey));
}

void DecodeKnownMountpoint(std::span<const std::byte, kKnownMountpointSize> in,
                           KnownMountpoint& known) {
  GetText(in.data(), kKnownUrl, known.url);
  known.ownerKey = static_cast<std::int32_t>(le::Get32(in.data() + kOwnerKey));
}

void EncodeMonitorOptions(const MonitorOptions& o, MonitorOptionsBytes out) {
  std::byte* r = out.data();
  std::fill(out.begin(), out.end(), std::byte{0});
  PutFlags(r, kShortFlags7To12, o.shortIgnoreFlags7To12);
  PutTexts(r, kShortNames7To12, o.shortIgnoreNames7To12);
  PutFlags(r, kShortFlags13To24, o.shortIgnoreFlags13To24);
  PutTexts(r, kShortNames13To24, o.shortIgnoreNames13To24);
  PutFlags(r, kLongFlags, o.longIgnoreFlags);
  PutTexts(r, kLongNames, o.longIgnoreNames);
  PutTexts(r, kExtensions, o.ignoredExtensions);
}

void DecodeMonitorOptions(std::span<const std::byte, kMonitorOptionsSize> in, MonitorOptions& o) {
  const std::byte* r = in.data();
  GetFlags(r, kShortFlags7To12, o.shortIgnoreFlags7To12);
  GetTexts(r, kShortNames7To12, o.shortIgnoreNames7To12);
  GetFlags(r, kShortFlags13To24, o.shortIgnoreFlags13To24);
  GetTexts(r, kShortNames13To24, o.shortIgnoreNames13To24);
  GetFlags(r, kLongFlags, o.longIgnoreFlags);
  GetTexts(r, kLongNames, o.longIgnoreNames);
  GetTexts(r, kExtensions, o.ignoredExtensions);
}

}  // namespace larkspan::schedule::records
