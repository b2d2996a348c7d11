#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace larkspan::bench {

// Our side of a benchmark: one process that records `count` streams, each
// on its own recording thread exactly as the program records them, until
// SIGTERM stops them all. Stream i is `baseUrl` followed by i, written to
// `folder`/rec_{i}.mp3; the folder is the start-up directory. With
// `startsPerSecond` the threads start at that pace, for a server with a short
// listen queue (Icecast's holds 5).
int RunRecorderSwarm(const std::filesystem::path& folder, const std::string& baseUrl, int count,
                     int startsPerSecond = 0);

// The command that runs RunRecorderSwarm in a process of its own: this
// program again, with the first argument kRecorderSwarmArgument.
inline constexpr const char* kRecorderSwarmArgument = "--recorder-swarm";
std::vector<std::string> RecorderSwarmCommand(const std::filesystem::path& folder,
                                              const std::string& baseUrl, int count,
                                              int startsPerSecond = 0);

// For a benchmark's main: runs the swarm when asked to; -1 otherwise.
int RunRecorderSwarmIfAsked(int argc, char** argv);

}  // namespace larkspan::bench
