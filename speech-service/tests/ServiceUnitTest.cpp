// The service's parts on their own: text, accounts, identity, audio, engine settings, options.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <tuple>

#include "ServiceOptions.h"
#include "SpokenAudio.h"
#include "accounts/AccountStore.h"
#include "engine/AudioSegmenter.h"
#include "engine/EngineSettings.h"
#include "identity/DataFolder.h"
#include "identity/ServerIdentity.h"
#include "recognition/WavAudio.h"
#include "support/TemporaryDirectory.h"
#include "text/ChineseConverter.h"
#include "text/SpokenTask.h"
#include "text/TextCleanup.h"

using namespace wrenly;
using namespace wrenly::speech;
using namespace std::string_literals;

namespace {

const ChineseConverter& converter() {
  static const auto made = ChineseConverter::create();
  return *made.value();
}

TEST(TextCleanup, TidiesSpacingPunctuationCapitalsAndScript) {
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {"  go   forward ten meters ", "Go forward ten meters."},
      {"yes , i think so. and then", "Yes, I think so. And then."},
      {"hello,world!how are you?", "Hello, world! How are you?"},
      {"我们 今天 开会,好吗?", "我們今天開會，好嗎？"}, {"用 iPhone 打字", "用 iPhone 打字。"},
      {"( see this )", "(See this)"}, {"头发发展", "頭髮發展。"}, {"", ""},
      {"first line\n\n\n\nsecond line\n", "First line\n\nSecond line"}};
  // clang-format on
  for (const auto& [input, expected] : cases) {
    EXPECT_EQ(tidyTranscript(input, converter()), expected) << input;
  }
}

TEST(SpokenTask, RecognisesEachInstructionInEitherLanguageAndScript) {
  using enum SpokenTaskKind;
  // clang-format off
  const std::pair<std::string, std::variant<SpokenTaskKind, SpokenTaskFailure>> cases[] = {
      {"make it UPPER case", upperCase}, {"轉做大寫", upperCase}, {"lower case please", lowerCase},
      {"改成小写", lowerCase}, {"convert to traditional chinese", traditional},
      {"轉成繁體", traditional}, {"轉成簡體", simplified}, {"numbered list", numberedList},
      {"變成編號", numberedList}, {"bullet points", bulletedList}, {"加項目符號", bulletedList},
      {"delete this", deletion}, {"刪除", deletion},
      {"translate into French", SpokenTaskFailure::unsupportedInstruction},
      {"", SpokenTaskFailure::unsupportedInstruction},
      {"uppercase and a numbered list", SpokenTaskFailure::ambiguousInstruction}};
  // clang-format on
  for (const auto& [instruction, expected] : cases) {
    EXPECT_EQ(interpretInstruction(instruction, converter()), expected) << instruction;
  }
}

TEST(SpokenTask, RewritesTheSelection) {
  struct Case {
    SpokenTaskKind kind;
    std::string selection, expected;
  };
  using enum SpokenTaskKind;
  // clang-format off
  const Case cases[] = {
      {upperCase, "Straße and é", "STRASSE AND É"}, {lowerCase, "HELLO World", "hello world"},
      {traditional, "后来的面条", "後來的麪條"}, {simplified, "後來的頭髮", "后来的头发"},
      {numberedList, "milk\n- eggs\n\n3. bread", "1. milk\n2. eggs\n3. bread"},
      {bulletedList, "蘋果、橙，香蕉。", "• 蘋果\n• 橙\n• 香蕉。"},
      {numberedList, "one item", "1. one item"}, {deletion, "anything", ""}};
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(applySpokenTask(c.kind, c.selection, converter()), c.expected) << c.selection;
  }
}

TEST(AccountStore, KeepsOnlyHashesDeletesAnAccountWithItsRecordsAndUndoesAFailedSignIn) {
  TemporaryDirectory folder;
  const std::string token = randomSecret();
  EXPECT_EQ(token.size(), 43u);
  {
    auto store = std::move(AccountStore::open(folder / "accounts.sqlite").value());
    EXPECT_EQ(store->propose(token, "state-1", 100), ProposalOutcome::proposed);
    EXPECT_FALSE(store->accountOf(token));  // pending
    EXPECT_EQ(store->completeSignIn("state-1", true, 100 + 15 * 60 + 1),
              SignInOutcome::unknownState);  // expired
    store->propose(token, "state-2", 2000);
    EXPECT_EQ(store->completeSignIn("state-2", true, 2000), SignInOutcome::completed);
    EXPECT_EQ(store->completeSignIn("state-2", true, 2000), SignInOutcome::unknownState);
    EXPECT_EQ(store->propose(token, "state-3", 2000), ProposalOutcome::tokenInUse);
    const auto account = store->accountOf(token);
    ASSERT_TRUE(account);
    store->recordRequest(*account, "STREAM-ID", "stream", "", 2000);
    store->recordRequest(*account, "BATCH-ID", "transcribe", "STREAM-ID", 2001);
    EXPECT_EQ(store->requestCount(*account), 2);
    store->recordRequest(*account, "LATER-ID", "text", "", 2001 + 30 * 24 * 3600);
    EXPECT_EQ(store->requestCount(*account), 2);  // the first record is past its lifetime
    // Each sign-in start is a row: only so many wait at once.
    EXPECT_EQ(store->propose(randomSecret(), "state-4", 2000, 2), ProposalOutcome::proposed);
    EXPECT_EQ(store->propose(randomSecret(), "state-5", 2000, 2), ProposalOutcome::proposed);
    EXPECT_EQ(store->propose(randomSecret(), "state-6", 2000, 2), ProposalOutcome::tooManyPending);
    store->deleteAccount(*account);
    EXPECT_FALSE(store->accountOf(token));
    EXPECT_EQ(store->requestCount(*account), 0);

    // A sign-in that fails to store its token leaves nothing behind: it can be tried again.
    store->propose("token-7", "state-7", 2000);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((folder / "accounts.sqlite").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db,
                           "CREATE TRIGGER refuse BEFORE INSERT ON tokens "
                           "BEGIN SELECT RAISE(ABORT, 'disk full'); END",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    EXPECT_EQ(store->completeSignIn("state-7", true, 2000), SignInOutcome::failed);
    EXPECT_TRUE(store->signInPending("state-7", 2000));
    EXPECT_FALSE(store->accountOf("token-7"));
  }
  EXPECT_EQ(fileMode(folder / "accounts.sqlite"), 0600u);
  EXPECT_EQ(readFile(folder / "accounts.sqlite").find(token), std::string::npos);
}

TEST(DataFolder, HoldsPrivateFilesMadeOnceThroughNoPlantedLinkInAFolderOwnedOutright) {
  TemporaryDirectory folder;
  const auto data = folder / "data";
  ASSERT_TRUE(prepareDataFolder(data));
  std::ofstream(folder / "victim") << "untouched";
  ASSERT_EQ(::symlink((folder / "victim").c_str(), (data / "authority-key.pem.partial").c_str()),
            0);
  const auto first = loadOrCreateIdentity(data);
  ASSERT_TRUE(first);
  EXPECT_EQ(readFile(folder / "victim"), "untouched");
  for (const char* name : {"authority.pem", "authority-key.pem", "server.pem", "server-key.pem"}) {
    EXPECT_EQ(fileMode(data / name), 0600u) << name;
  }
  EXPECT_EQ(loadOrCreateIdentity(data).value().certificateChainPem,
            first.value().certificateChainPem);  // made once, then reused

  ASSERT_EQ(::symlink(data.c_str(), (folder / "link").c_str()), 0);
  EXPECT_FALSE(prepareDataFolder(folder / "link"));
  std::vector<std::pair<const char*, std::string>> saved;
  for (const char* name : {"HOME", "XDG_DATA_HOME"}) {
    if (const char* value = std::getenv(name)) saved.emplace_back(name, value);
    ::unsetenv(name);
  }
  EXPECT_FALSE(prepareDataFolder(std::nullopt));  // rather than a folder anyone could plant
  for (const auto& [name, value] : saved) ::setenv(name, value.c_str(), 1);
}

TEST(WavAudio, DecodesBase64AndTheRecordedFormatOnly) {
  EXPECT_EQ(decodeBase64("aGVsbG8="), "hello");
  EXPECT_EQ(decodeBase64("aGVsbA=="), "hell");
  EXPECT_EQ(decodeBase64(""), "");
  for (const char* bad : {"aGVsbG8", "aGV\nsbG8=", "a=Vs", "aG=s", "aGVsbG8=aGVs"}) {
    EXPECT_FALSE(decodeBase64(bad)) << bad;
  }
  auto header = [](std::uint32_t rate, std::uint16_t channels) {
    std::string wav = "RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0"s;
    wav += static_cast<char>(channels);
    wav += '\0';
    for (int s = 0; s < 32; s += 8) wav += static_cast<char>(rate >> s & 0xff);
    wav += "\0\0\0\0\x02\0\x10\0data\x04\0\0\0\x01\x00\xff\xff"s;
    return wav;
  };
  EXPECT_EQ(std::get<std::vector<std::int16_t>>(readWav(header(16000, 1))),
            (std::vector<std::int16_t>{1, -1}));
  EXPECT_EQ(std::get<WavFailure>(readWav(header(44100, 1))), WavFailure::unsupportedFormat);
  EXPECT_EQ(std::get<WavFailure>(readWav(header(16000, 2))), WavFailure::unsupportedFormat);
  EXPECT_EQ(std::get<WavFailure>(readWav(header(16000, 1).substr(0, 30))), WavFailure::notWav);
  EXPECT_EQ(std::get<WavFailure>(readWav("not a wav file at all")), WavFailure::notWav);
}

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

// Each cap on the command line reaches the part it limits.
TEST(ServiceOptions, EachCapReachesWhatItLimits) {
  const auto options = std::get<ServiceOptions>(parseOptions(
      {"--max-connections=16", "--max-connections-per-peer=8", "--max-anonymous-body=4096",
       "--max-audio-seconds=2", "--max-stream-seconds=30", "--stream-grace-seconds=0.5",
       "--min-stream-rate=1000", "--decoders=2", "--max-pending-sign-ins=5"}));
  const ServerSetup& server = options.server;
  EXPECT_EQ(server.maximumConnections, 16u);
  EXPECT_EQ(server.maximumConnectionsPerPeer, 8u);
  EXPECT_EQ(server.maximumAnonymousBodyBytes, 4096u);
  EXPECT_EQ(options.limits.maximumAudioSeconds, 2u);
  EXPECT_EQ(server.maximumStreamDuration, std::chrono::seconds(30));
  EXPECT_EQ(server.streamGrace, std::chrono::milliseconds(500));
  EXPECT_EQ(server.minimumStreamBytesPerSecond, 1000u);
  EXPECT_EQ(options.decoders, 2);
  EXPECT_EQ(server.recognitionThreads, 2);
  EXPECT_EQ(options.limits.maximumPendingSignIns, 5);
  EXPECT_EQ(std::get<std::string>(parseOptions({"--decoders=0"})),
            "--decoders needs a number above zero");
}

}  // namespace
