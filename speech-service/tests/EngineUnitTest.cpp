#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <tuple>

#include "SpokenAudio.h"
#include "engine/AudioSegmenter.h"
#include "engine/EngineSettings.h"
#include "support/TemporaryDirectory.h"

using namespace wrenly;
using namespace wrenly::speech;

namespace {

TEST(AudioSegmenter, CutsAtPausesAndBoundsTheLength) {
  // The audio (see spoken()), the segments finished while it arrived and what finish() gives
  // (0: nothing), in milliseconds.
  const std::tuple<const char*, std::vector<int>, std::vector<int>, int> rows[] = {
      {"one utterance", {0, 0, 2000}, {}, 2000},
      {"a 600 ms pause cuts", {1000, 600, 1000}, {1500}, 1100},
      {"a 300 ms pause does not", {1000, 300, 1000}, {}, 2300},
      {"quiet alone is never sent", {0, 3000}, {}, 0},
      {"leading quiet kept to a pause and a frame", {0, 3000, 1000}, {}, 1520},
      {"quiet after the last word ends it", {800, 2000}, {800 + 500}, 0},
      {"the longest segment is cut", {9000}, {4000, 4000}, 1000},
  };
  for (const auto& [name, spokenMs, handedOutMs, lastMs] : rows) {
    for (size_t chunk : {size_t{1600}, size_t{123}}) {
      SCOPED_TRACE(std::string(name) + " chunk " + std::to_string(chunk));
      AudioSegmenter segmenter(SegmentLimits{.longestSamples = 4000 * 16});
      const auto audio = spoken(spokenMs);
      std::vector<int> handedOut;
      for (size_t at = 0; at < audio.size(); at += chunk) {
        const auto piece = std::span(audio).subspan(at, std::min(chunk, audio.size() - at));
        for (const auto& segment : segmenter.add(piece)) handedOut.push_back(segment.size() / 16);
      }
      EXPECT_EQ(handedOut, handedOutMs);
      const auto last = segmenter.finish();
      EXPECT_EQ(last ? int(last->size() / 16) : 0, lastMs);
    }
  }
}

TEST(AudioSegmenter, JoinsLatinWordsWithASpaceAndCjkWithout) {
  using Pieces = std::vector<std::string>;
  EXPECT_EQ(joinTranscripts(Pieces{" Hello there.", "How are you? ", ""}),
            "Hello there. How are you?");
  EXPECT_EQ(joinTranscripts(Pieces{"你好，", "今天天氣很好", "。"}), "你好，今天天氣很好。");
  EXPECT_EQ(joinTranscripts(Pieces{"我用 Linux", "寫程式", "every day"}),
            "我用 Linux寫程式every day");
}

TEST(EngineSettings, ReadsTheFileThenTheCommandLine) {
  TemporaryDirectory folder;
  const auto write = [&](const std::string& name, const std::string& text, mode_t mode) {
    std::ofstream(folder / name) << text;
    ::chmod((folder / name).c_str(), mode);
    return (folder / name).string();
  };
  const std::string keyFile = write("key", "sk-secret\n", 0600);
  const std::string openKeyFile = write("open-key", "sk-secret\n", 0644);
  const std::string config =
      write("config",
            "# engine\nengine = endpoint\nendpoint_url = https://asr.example/"
            "v1/\nendpoint_model = small\nendpoint_cantonese = zh\n",
            0644);
  const auto environment = [](const char* name) -> const char* {
    return std::string_view(name) == "ENGINE_KEY" ? "sk-variable" : nullptr;
  };
  // The settings given on the command line; a part of the error message, or the key read.
  const std::tuple<const char*, SettingLines, const char*, const char*> rows[] = {
      {"the file alone", {}, nullptr, ""},
      {"key from a private file", {{"endpoint_key_file", keyFile}}, nullptr, "sk-secret"},
      {"key file others can read", {{"endpoint_key_file", openKeyFile}}, "mode 0600", ""},
      {"key from a variable", {{"endpoint_key_variable", "ENGINE_KEY"}}, nullptr, "sk-variable"},
      {"unset variable", {{"endpoint_key_variable", "NO_KEY"}}, "unset", ""},
      {"plain http to this machine", {{"endpoint_url", "http://127.0.0.1:9000/v1"}}, nullptr, ""},
      {"plain http elsewhere", {{"endpoint_url", "http://asr.example/v1"}}, "plain http", ""},
      {"plain http through a name", {{"endpoint_url", "http://127.0.0.1@evil/v1"}}, "plain", ""},
      {"unknown setting", {{"endpoint_colour", "red"}}, "unknown setting", ""},
      {"no model", {{"endpoint_model", ""}}, "endpoint_model", ""},
      {"rewriting without a model", {{"rewrite_url", "https://x/v1"}}, "rewrite_model", ""},
  };
  for (const auto& [name, overrides, error, key] : rows) {
    SCOPED_TRACE(name);
    auto settings = loadEngineSettings(config, true, overrides, environment);
    if (error) {
      ASSERT_FALSE(settings);
      EXPECT_NE(settings.error().message.find(error), std::string::npos);
      EXPECT_EQ(settings.error().message.find("sk-"), std::string::npos);
      continue;
    }
    ASSERT_TRUE(settings) << settings.error().message;
    EXPECT_EQ(settings->kind, EngineKind::endpoint);
    EXPECT_EQ(settings->endpoint.apiKey, key);
  }
  EXPECT_FALSE(loadEngineSettings(folder / "missing", true, {}));
  EXPECT_EQ(loadEngineSettings(folder / "missing", false, {}).value().kind, EngineKind::builtIn);

  const auto endpoint = loadEngineSettings(config, true, {}).value().endpoint;
  EXPECT_EQ(endpoint.baseURL, "https://asr.example/v1");
  EXPECT_EQ(engineLanguageCode(endpoint, VoiceLanguage::cantonese), "zh");
}

}  // namespace
