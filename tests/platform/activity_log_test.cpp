#include "platform/activity_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace larkspan::platform {
namespace {

class ActivityLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("larkspan-log-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string contents() const {
    std::ifstream in(dir_ / "log.txt", std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::filesystem::path dir_;
};

TEST_F(ActivityLogTest, AppendsLinesToLogTxtInTheStartupDirectory) {
  const ActivityLog log(dir_);
  EXPECT_EQ(log.path(), dir_ / "log.txt");
  EXPECT_TRUE(log.append("first\n"));
  auto held = log.open();
  ASSERT_TRUE(held.isOpen());
  EXPECT_TRUE(log.append("second\n"));
  EXPECT_TRUE(held.write("held\n"));
  held.close();
  EXPECT_FALSE(held.write("after close\n"));
  EXPECT_EQ(contents(), "first\nsecond\nheld\n");
}

TEST_F(ActivityLogTest, LinesOfConcurrentWritersNeverTear) {
  constexpr int kThreads = 8;
  constexpr int kLines = 500;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([this, t] {
      const ActivityLog log(dir_);
      const std::string line =
          "writer " + std::to_string(t) + " " + std::string(200, 'a' + t) + "\n";
      for (int i = 0; i < kLines; ++i) log.append(line);
    });
  }
  for (auto& w : writers) w.join();

  std::istringstream lines(contents());
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ++count;
    ASSERT_GE(line.size(), 9u) << line;
    const int t = line[7] - '0';
    EXPECT_EQ(line, "writer " + std::to_string(t) + " " + std::string(200, 'a' + t));
  }
  EXPECT_EQ(count, kThreads * kLines);
}

TEST_F(ActivityLogTest, UnwritableFolderSkipsTheLine) {
  const ActivityLog log(dir_ / "missing" / "folder");
  EXPECT_FALSE(log.append("lost\n"));
  EXPECT_FALSE(log.open().isOpen());
}

}  // namespace
}  // namespace larkspan::platform
