// make_fuzz_seeds FOLDER: writes the seed inputs of every fuzz target into
// FOLDER/<target>/. fuzz/run.sh seeds minimises them into fuzz/corpus/.
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "fuzz/seeds/seeds.h"

namespace larkspan::fuzz {

SeedFolder::SeedFolder(const std::filesystem::path& root, std::string_view target)
    : path_(root / target) {
  std::filesystem::create_directories(path_);
}

void SeedFolder::write(std::string_view name, std::string_view bytes) const {
  std::ofstream file(path_ / name, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + (path_ / name).string());
}

}  // namespace larkspan::fuzz

int main(int argc, char** argv) {
  using namespace larkspan::fuzz;
  if (argc != 2) {
    std::cerr << "usage: make_fuzz_seeds FOLDER\n";
    return 2;
  }
  const std::filesystem::path root = argv[1];
  try {
    const SeedFolder urls(root, "fuzz_url_split");
    WriteProfileSeeds(SeedFolder(root, "fuzz_profile_load"));
    WriteServerSeeds(SeedFolder(root, "fuzz_http_reply"), SeedFolder(root, "fuzz_status_page_scan"),
                     urls);
    WriteUrlSeeds(urls);
  } catch (const std::exception& e) {
    std::cerr << "make_fuzz_seeds: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
