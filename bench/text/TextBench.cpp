// Formatting and script output of one long dictation: 20,000 characters of Simplified and
// Traditional Chinese, English, numbers, decimals and spoken list markers.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "text/ChineseOutput.h"
#include "text/SpeechCleanup.h"

using namespace wrenly;

namespace {

constexpr size_t targetCharacters = 20000;

size_t countCharacters(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

std::string mixedText() {
  const std::vector<std::string> pieces = {
      "我有三点要讲：第一点买菜，第二点煮饭，第三点洗碗。",
      "Meet at 3.30 or 4.15 and bring 2 notebooks, please. ",
      "從 1.5 升到 2.5，咁樣都幾好，  佢話聽日再傾。",
      "一、準備資料 二、寫報告 三、開會 ",
      "The quarterly numbers rose by 12.5 percent , which is good !",
      "这个软件的网络连接有问题，请你帮我看看。。。",
      "\n\n\n 今日天氣好好 ，我哋去行山啦 ",
  };
  std::string text;
  for (size_t i = 0; countCharacters(text) < targetCharacters; ++i) {
    text += pieces[i % pieces.size()];
  }
  return text;
}

void formatList(benchmark::State& state) {
  const std::string text = mixedText();
  for (auto _ : state) benchmark::DoNotOptimize(SpeechCleanup::formatList(text));
  state.counters["chars"] = static_cast<double>(countCharacters(text));
}
BENCHMARK(formatList)->Unit(benchmark::kMillisecond);

void normalize(benchmark::State& state) {
  const std::string text = mixedText();
  for (auto _ : state) benchmark::DoNotOptimize(ChineseOutput::normalize(text, text));
  state.counters["chars"] = static_cast<double>(countCharacters(text));
}
BENCHMARK(normalize)->Unit(benchmark::kMillisecond);
BENCHMARK(normalize)->Unit(benchmark::kMillisecond)->Threads(2);

// Text as the service returns it after its own clean-up: single spaces, no stray marks.
void formatListClean(benchmark::State& state) {
  const std::vector<std::string> pieces = {"我有三點要講：第一點買菜，第二點煮飯，第三點洗碗。",
                                           "Meet at 3.30 or 4.15 and bring two notebooks. ",
                                           "從 1.5 升到 2.5，咁樣都幾好，佢話聽日再傾。",
                                           "這個軟件的網絡連接有問題，請你幫我看看。"};
  std::string text;
  for (size_t i = 0; countCharacters(text) < targetCharacters; ++i) {
    text += pieces[i % pieces.size()];
  }
  for (auto _ : state) benchmark::DoNotOptimize(SpeechCleanup::formatList(text));
}
BENCHMARK(formatListClean)->Unit(benchmark::kMillisecond);

// The path most dictations take: Traditional text with no evidence, returned untouched.
void normalizeUnchanged(benchmark::State& state) {
  std::string text;
  while (countCharacters(text) < targetCharacters) text += "今日天氣好好，大家一齊去行山。Hello. ";
  for (auto _ : state) benchmark::DoNotOptimize(ChineseOutput::normalize(text, text));
}
BENCHMARK(normalizeUnchanged)->Unit(benchmark::kMillisecond);

// The dictation path end to end.
void formatThenNormalize(benchmark::State& state) {
  const std::string text = mixedText();
  for (auto _ : state) {
    benchmark::DoNotOptimize(ChineseOutput::normalize(SpeechCleanup::formatList(text), text));
  }
}
BENCHMARK(formatThenNormalize)->Unit(benchmark::kMillisecond);

}  // namespace
