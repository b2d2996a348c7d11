// The main of a fuzz target built without libFuzzer: feeds every file of the
// folders on the command line to the target's entry point once, in name
// order, the way libFuzzer replays a corpus. A parser that crashes or trips a
// check on a kept input fails the run. A folder that does not exist is passed
// over (a target may have no kept crashes), but no input at all is a failure,
// so that a corpus that went missing does not pass unseen.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> inputs;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(argv[i], error)) {
      if (item.is_regular_file() && item.path().filename().string().front() != '.')
        inputs.push_back(item.path());
    }
  }
  std::sort(inputs.begin(), inputs.end());
  for (const auto& input : inputs) {
    // Named before it runs, so that the input that breaks the parser is the
    // last line printed.
    std::cout << input.string() << std::endl;
    std::ifstream file(input, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file),
                                  std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::cout << inputs.size() << " inputs\n";
  return inputs.empty() ? 1 : 0;
}
