#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace larkspan::bench {

// Our side of a benchmark: one process that records `count` streams, each
// on its own recording thread exactly as the program records them, until
// SIGTERM stops them all. Stream i is `baseUrl` followed by i, written to
// `folder`/rec_{i}.mp3; the folder is the start-up directory.
int RunRecorderSwarm(const std::filesystem::path& folder, const std::string& baseUrl, int count);

// The command that runs RunRecorderSwarm in a process of its own: this
// program again, with the first argument kRecorderSwarmArgument.
inline constexpr const char* kRecorderSwarmArgument = "--recorder-swarm";
std::vector<std::string> RecorderSwarmCommand(const std::filesystem::path& folder,
                                              const std::string& baseUrl, int count);

// For a benchmark's main: runs the swarm when asked to; -1 otherwise.
int RunRecorderSwarmIfAsked(int argc, char** argv);

}  // namespace larkspan::bench
