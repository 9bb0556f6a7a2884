#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "SpokenAudio.h"
#include "engine/AudioSegmenter.h"
#include "engine/EngineSettings.h"
#include "support/TemporaryDirectory.h"

using namespace wrenly;
using namespace wrenly::speech;

namespace {

TEST(AudioSegmenter, CutsAtPausesAndBoundsTheLength) {
  struct Row {
    const char* name;
    std::vector<int> audio;
    std::vector<int> handedOutMs;  // segments finished while the audio arrived
    int lastMs;                    // what finish() gives; 0: nothing
  };
  const Row rows[] = {
      {"one utterance", {0, 0, 2000}, {}, 2000},
      {"a 600 ms pause cuts", {1000, 600, 1000}, {1500}, 1100},
      {"a 300 ms pause does not", {1000, 300, 1000}, {}, 2300},
      {"quiet alone is never sent", {0, 3000}, {}, 0},
      {"leading quiet kept to a pause and a frame", {0, 3000, 1000}, {}, 1520},
      {"quiet after the last word ends it", {800, 2000}, {800 + 500}, 0},
      {"the longest segment is cut", {9000}, {4000, 4000}, 1000},
  };
  for (const Row& row : rows) {
    for (size_t chunk : {size_t{1600}, size_t{123}}) {
      SCOPED_TRACE(std::string(row.name) + " chunk " + std::to_string(chunk));
      AudioSegmenter segmenter(SegmentLimits{.longestSamples = 4000 * 16});
      const auto audio = spoken(row.audio);
      std::vector<int> handedOut;
      for (size_t at = 0; at < audio.size(); at += chunk) {
        const auto piece = std::span(audio).subspan(at, std::min(chunk, audio.size() - at));
        for (const auto& segment : segmenter.add(piece)) handedOut.push_back(segment.size() / 16);
      }
      EXPECT_EQ(handedOut, row.handedOutMs);
      const auto last = segmenter.finish();
      EXPECT_EQ(last ? int(last->size() / 16) : 0, row.lastMs);
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
  struct Row {
    const char* name;
    SettingLines overrides;
    const char* error;  // a part of the message, or none
    const char* key;
  };
  const Row rows[] = {
      {"the file alone", {}, nullptr, ""},
      {"key from a private file", {{"endpoint_key_file", keyFile}}, nullptr, "sk-secret"},
      {"key file others can read", {{"endpoint_key_file", openKeyFile}}, "mode 0600", ""},
      {"key from a variable", {{"endpoint_key_variable", "ENGINE_KEY"}}, nullptr, "sk-variable"},
      {"unset variable", {{"endpoint_key_variable", "NO_KEY"}}, "unset", ""},
      {"plain http to this machine", {{"endpoint_url", "http://127.0.0.1:9000/v1"}}, nullptr, ""},
      {"plain http elsewhere", {{"endpoint_url", "http://asr.example/v1"}}, "plain http", ""},
      {"plain http through a name", {{"endpoint_url", "http://127.0.0.1@evil/v1"}}, "plain", ""},
      {"unknown setting", {{"endpoint_colour", "red"}}, "unknown setting", ""},
      {"bad language", {{"endpoint_languages", "english, klingon"}}, "endpoint_languages", ""},
      {"no model", {{"endpoint_model", ""}}, "endpoint_model", ""},
      {"rewriting without a model", {{"rewrite_url", "https://x/v1"}}, "rewrite_model", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto settings = loadEngineSettings(config, true, row.overrides, environment);
    if (row.error) {
      ASSERT_FALSE(settings);
      EXPECT_NE(settings.error().message.find(row.error), std::string::npos);
      EXPECT_EQ(settings.error().message.find("sk-"), std::string::npos);
      continue;
    }
    ASSERT_TRUE(settings) << settings.error().message;
    EXPECT_EQ(settings->kind, EngineKind::endpoint);
    EXPECT_EQ(settings->endpoint.apiKey, row.key);
  }
  EXPECT_FALSE(loadEngineSettings(folder / "missing", true, {}));
  auto defaults = loadEngineSettings(folder / "missing", false, {});
  ASSERT_TRUE(defaults);
  EXPECT_EQ(defaults->kind, EngineKind::builtIn);

  const auto endpoint = loadEngineSettings(config, true, {}).value().endpoint;
  EXPECT_EQ(endpoint.baseURL, "https://asr.example/v1");
  EXPECT_EQ(engineLanguageCode(endpoint, VoiceLanguage::cantonese), "zh");
}

}  // namespace
