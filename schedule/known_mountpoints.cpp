#include "schedule/known_mountpoints.h"

#include <algorithm>

#include "platform/text.h"

namespace larkspan::schedule {

void RememberMountpoint(KnownMountpoints& known, std::string_view url, std::int32_t ownerKey) {
  const auto owned = [ownerKey](const KnownMountpoint& record) {
    return record.ownerKey == ownerKey;
  };
  // A server that renames its mountpoints for ever would otherwise grow the
  // list, the profile and every poll's matching without end.
  for (auto count = static_cast<std::size_t>(std::count_if(known.begin(), known.end(), owned));
       count >= kMaxKnownPerOwner; --count)
    known.erase(std::find_if(known.begin(), known.end(), owned));
  KnownMountpoint& record = known.emplace_back();
  platform::CopyToField(record.url, url);
  record.ownerKey = ownerKey;
}

}  // namespace larkspan::schedule
