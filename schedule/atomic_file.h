#pragma once

#include <filesystem>
#include <functional>

#include "schedule/byte_io.h"

namespace larkspan::schedule {

// Replaces `target` by a file whose bytes `write` produces, such that `target`
// always holds either its old or its complete new content, also after a crash
// or a full disk: the bytes go to a new file in the same folder, which is
// flushed to the disk and then renamed over `target`. An existing target's
// permission bits are kept.
//
// False when any step fails (including `write` returning false); `target` is
// then untouched and the new file removed.
bool ReplaceFileAtomically(const std::filesystem::path& target,
                           const std::function<bool(ByteSink&)>& write);

}  // namespace larkspan::schedule
