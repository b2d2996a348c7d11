#pragma once

#include <string>

namespace larkspan::platform {

// Deletes a file; false when it could not be deleted (or did not exist).
bool RemoveFile(const std::string& path);

// Renames `from` to `to` in one step, never replacing an existing `to`;
// false when `to` exists or the rename fails.
bool RenameWithoutReplacing(const std::string& from, const std::string& to);

// True for an existing regular file that this process may execute.
bool IsExecutableFile(const std::string& path);

}  // namespace larkspan::platform
