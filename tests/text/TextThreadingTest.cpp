#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "text/MacChineseOutput.h"
#include "text/SpeechCleanup.h"

using namespace wrenly;

// The shared compiled patterns and the script transform are used from several threads at once;
// every thread must see the same results (run under ThreadSanitizer in CI).
TEST(TextThreadingTest, ConcurrentCallsAgree) {
  const std::string input = "我有三点：第一点买菜，第二点煮饭，第三点洗碗。";
  const std::string expected = "我有三點\n1. 買菜\n2. 煮飯\n3. 洗碗";
  std::vector<std::string> results(4);
  std::vector<std::thread> threads;
  for (auto& result : results) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        result = MacChineseOutput::normalize(SpeechCleanup::formatList(input), input);
        if (result != expected) return;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (const auto& result : results) EXPECT_EQ(result, expected);
}
