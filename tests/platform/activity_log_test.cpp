#include "platform/activity_log.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>
#include <vector>

#include "tests/support/temporary_folder.h"

namespace larkspan::platform {
namespace {

TEST(ActivityLog, LinesOfConcurrentWritersAndOfAHeldFileNeverTear) {
  test::TemporaryFolder folder;
  const ActivityLog log(folder.path());
  auto held = log.open();
  {
    std::vector<std::jthread> writers;
    for (int t = 0; t < 8; ++t)
      writers.emplace_back([&, t] {
        const ActivityLog own(folder.path());
        for (int i = 0; i < 500; ++i)
          own.append(std::to_string(t) + std::string(200, 'a' + t) + "\n");
      });
    EXPECT_TRUE(held.write("held\n"));
  }
  held.close();
  EXPECT_FALSE(held.write("after close\n"));

  std::ifstream in(folder.path() / "log.txt");
  int count = 0;
  for (std::string line; std::getline(in, line); ++count)
    EXPECT_EQ(line,
              line == "held" ? line : line.substr(0, 1) + std::string(200, 'a' + line[0] - '0'));
  EXPECT_EQ(count, 8 * 500 + 1);
  EXPECT_FALSE(ActivityLog(folder.path() / "missing").append("lost\n")) << "no folder, no line";
}

}  // namespace
}  // namespace larkspan::platform
