#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// The seed inputs of the fuzz targets: real inputs made by the program's own
// writers or captured from the servers the tests run, one file each.
namespace larkspan::fuzz {

// The seed folder of one fuzz target.
class SeedFolder {
 public:
  SeedFolder(const std::filesystem::path& root, std::string_view target);
  void write(std::string_view name, std::string_view bytes) const;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Profiles of none, one and a few entries, saved by the profile writer, and
// copies of them cut off inside each section, as a torn file would be.
void WriteProfileSeeds(const SeedFolder& profiles);

// Replies and status pages from a live Icecast fed by ffmpeg and from the
// scripted HTTP server, captured byte for byte, and the URLs that reached
// them.
void WriteServerSeeds(const SeedFolder& replies, const SeedFolder& statusPages,
                      const SeedFolder& urls);

// URLs of the shapes users type and servers send back.
void WriteUrlSeeds(const SeedFolder& urls);

}  // namespace larkspan::fuzz
