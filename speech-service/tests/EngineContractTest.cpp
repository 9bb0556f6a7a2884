// The service recognising with an OpenAI-compatible transcription endpoint: a scripted engine on
// loopback, the service's API called in this process.
#include <gtest/gtest.h>

#include <boost/json/parse.hpp>
#include <deque>
#include <list>
#include <regex>
#include <sstream>
#include <thread>
#include <tuple>

#include "SpokenAudio.h"
#include "accounts/AccountStore.h"
#include "api/SpeechApi.h"
#include "engine/ChatRewriter.h"
#include "engine/EndpointRecogniser.h"
#include "recognition/WavAudio.h"
#include "server/ServiceLog.h"
#include "service/RequestBodies.h"
#include "support/TemporaryDirectory.h"
#include "support/service/ContractServer.h"
#include "text/ChineseConverter.h"

using namespace wrenly;
using namespace wrenly::speech;
using Reply = ContractServer::Reply;

namespace {

constexpr const char* token = "b6Yx1n0Jm4d3Qw7Ls2Kp9Vt5Ha8Ge1Rc6Uz0Fi4Oo3";
constexpr const char* apiKey = "sk-engine-key-7Q2";
constexpr const char* vocabulary = "Wrenly, Kowloon Tong";

// The value of the multipart/form-data field `name`, or none.
std::optional<std::string> formField(const std::string& body, const std::string& name) {
  const size_t at = body.find("name=\"" + name + "\"");
  if (at == std::string::npos) return std::nullopt;
  const size_t start = body.find("\r\n\r\n", at) + 4;
  return body.substr(start, body.find("\r\n--", start) - start);
}

// The service's API with an endpoint recogniser whose engine answers from `replies` (then
// {"text":"hello"}).
class EngineContract : public testing::Test {
 protected:
  ContractServer engine;
  std::mutex mutex;
  std::deque<Reply> replies;
  TemporaryDirectory folder;
  std::unique_ptr<AccountStore> accounts =
      std::move(AccountStore::open(folder / "accounts.sqlite").value());
  std::unique_ptr<ChineseConverter> converter = std::move(ChineseConverter::create().value());
  std::ostringstream logText;
  ServiceLog log{logText};
  EndpointSettings settings{.baseURL = "http://127.0.0.1:" + std::to_string(engine.port()) + "/v1",
                            .model = "small-model",
                            .apiKey = apiKey,
                            .vocabulary = vocabulary};
  std::unique_ptr<EndpointRecogniser> recogniser;
  std::list<ChatRewriter> rewriters;  // outlive the service parts that point at them
  std::unique_ptr<SpeechApi> api;

  void SetUp() override {
    engine.setHandler([this](const ContractServer::Request&) -> std::optional<Reply> {
      std::lock_guard lock(mutex);
      if (replies.empty()) return Reply::text("hello");
      Reply reply = replies.front();
      replies.pop_front();
      return reply;
    });
    accounts->propose(token, "state", 1000);
    accounts->completeSignIn("state", true, 1000);
    start();
  }
  // The API with the settings as they are now; with `rewriting`, a chat rewriter of them too.
  void start(bool rewriting = false) {
    api.reset();
    recogniser = std::make_unique<EndpointRecogniser>(settings, SegmentLimits{}, log);
    api = std::make_unique<SpeechApi>(
        ServiceParts{*accounts, *recogniser, *converter, log, [] { return 1000; },
                     rewriting ? &rewriters.emplace_back(settings, log) : nullptr});
  }
  void script(std::vector<Reply> next) {
    std::lock_guard lock(mutex);
    replies.insert(replies.end(), next.begin(), next.end());
  }

  static ApiRequest request(std::string method, const std::string& target, std::string body = {}) {
    // Method, target, host, credentials, origin, body and headers.
    return {std::move(method),
            "/wrenly/v1/" + target,
            "127.0.0.1",
            std::string("Bearer ") + token,
            {},
            std::move(body),
            {}};
  }
  ApiReply transcribe(std::string_view language, const std::vector<std::int16_t>& samples,
                      std::string_view hint = {}) {
    const std::string wav = speech::wavOf(samples);
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(wav.data()), wav.size());
    const std::string body = transcribeBody(bytes, language, std::nullopt, "R1", hint);
    return api->handle(request("POST", "transcribe", body));
  }
  std::unique_ptr<StreamDecoding> openStream(std::string_view language, bool cleanup,
                                             std::string_view encodedHint = {}) {
    std::string query = "stream?requestID=S1&language=" + std::string(language) +
                        "&cleanup=" + (cleanup ? "1" : "0") + "&interim=1";
    if (!encodedHint.empty()) query += "&vocabulary=" + std::string(encodedHint);
    return std::get<0>(api->openStream(request("GET", query), [] {}));
  }
  static std::string pcmOf(const std::vector<std::int16_t>& samples) {
    return std::string(reinterpret_cast<const char*>(samples.data()), samples.size() * 2);
  }
};

TEST_F(EngineContract, SendsTheFormWithTheEngineLanguage) {
  const std::pair<const char*, const char*> languages[] = {
      {"auto", nullptr}, {"english", "en"}, {"mandarin", "zh"}, {"cantonese", "yue"}};
  for (auto [language, code] : languages) {
    SCOPED_TRACE(language);
    EXPECT_EQ(boost::json::parse(transcribe(language, spoken({1000})).body).at("text"), "hello");
    const auto sent = engine.requests().back();
    EXPECT_EQ(sent.target, "/v1/audio/transcriptions");
    EXPECT_EQ(sent.header("Authorization"), std::string("Bearer ") + apiKey);
    EXPECT_EQ(formField(sent.body, "model"), "small-model");
    EXPECT_EQ(formField(sent.body, "response_format"), "json");
    EXPECT_EQ(formField(sent.body, "prompt"), vocabulary);
    EXPECT_EQ(formField(sent.body, "language"),
              code ? std::optional<std::string>(code) : std::nullopt);
    EXPECT_EQ(formField(sent.body, "file"), speech::wavOf(spoken({1000})));
  }

  settings.languages = {VoiceLanguage::english};
  settings.vocabulary.clear();
  start();
  const size_t before = engine.requestCount();
  EXPECT_EQ(transcribe("mandarin", spoken({1000})).body,
            ApiReply::error(400, "unsupported_language").body);
  EXPECT_EQ(engine.requestCount(), before);
  transcribe("english", spoken({1000}));
  EXPECT_FALSE(formField(engine.requests().back().body, "prompt"));
  transcribe("english", spoken({1000}), "GitHub, 九龍塘");
  EXPECT_EQ(formField(engine.requests().back().body, "prompt"), "GitHub, 九龍塘");
  EXPECT_EQ(api->handle(request("GET", "engine")).body,
            R"({"engine":"endpoint","languages":["auto","english"]})");
}

TEST_F(EngineContract, StreamSendsEachSegmentWhileTheUserSpeaks) {
  // The pieces the engine hears, the words shown after the first, and the text: cleaned up (in
  // Traditional characters) for CJK.
  const std::tuple<const char*, const char*, bool, const char*, const char*> rows[] = {
      {"Hello there.", " How are you?", false, "Hello there.", "Hello there. How are you?"},
      {"你们好，", "今天天气很好", true, "你們好，", "你們好，今天天氣很好。"},
  };
  for (const auto& [first, second, cleanup, shown, text] : rows) {
    SCOPED_TRACE(text);
    script({Reply::text(first), Reply::text(second)});
    const size_t before = engine.requestCount();
    auto stream = openStream("auto", cleanup);
    for (const auto& piece : {spoken({1000, 600}), spoken({0, 200, 1200})}) {
      EXPECT_FALSE(stream->feed(pcmOf(piece)));
    }
    // The first segment reached the engine before the user stopped: its words are shown as soon
    // as the engine answered.
    std::optional<std::string> interim;
    while (!(interim = stream->interim())) std::this_thread::yield();
    EXPECT_EQ(boost::json::parse(*interim),
              (boost::json::value{{"type", "interim"}, {"text", shown}}));
    EXPECT_EQ(boost::json::parse(stream->finish()).at("text"), text);
    EXPECT_EQ(engine.requestCount(), before + 2);
  }
  // The user's hint in the stream's address joins the service's own in the prompt.
  auto hinted = openStream("auto", false, "GitHub%2C%20%E4%B9%9D");
  EXPECT_FALSE(hinted->feed(pcmOf(spoken({1000}))));
  hinted->finish();
  EXPECT_EQ(formField(engine.requests().back().body, "prompt"),
            std::string(vocabulary) + ", GitHub, 九");
}

TEST_F(EngineContract, EngineFaultsAnswerRetryableCodesAndServingGoesOn) {
  Reply dropped;
  dropped.dropConnection = true;
  const ApiReply busy = ApiReply::error(503, "provider_rate_limited");
  const ApiReply failed = ApiReply::error(500, "recognition_failed");
  const std::tuple<Reply, ApiReply, const char*> rows[] = {
      {Reply::error(429, "rate_limit_exceeded"), busy, "fault=busy"},
      {Reply::error(401, "invalid_api_key"), failed, "fault=refused"},
      {Reply::json(500, "{}"), failed, "fault=failed"},
      {Reply::json(504, "{}"), failed, "fault=timed_out"},
      {Reply::json(200, R"({"txt":"hello"})"), failed, "fault=malformed"},
      {Reply::text(std::string(2 << 20, 'a')), failed, "fault=oversized"},
      {dropped, failed, "fault=unreachable"},
  };
  for (const auto& [scripted, expected, logged] : rows) {
    SCOPED_TRACE(logged);
    script({scripted});
    const ApiReply reply = transcribe("english", spoken({1000}));
    EXPECT_EQ(std::tie(reply.status, reply.body), std::tie(expected.status, expected.body));
    EXPECT_NE(logText.str().find(logged), std::string::npos);
    EXPECT_EQ(transcribe("english", spoken({1000})).status, 200);
  }

  // A segment failing mid-stream fails the stream without sending the rest; the next works.
  script({Reply::json(500, "{}")});
  const size_t before = engine.requestCount();
  auto stream = openStream("english", false);
  stream->feed(pcmOf(spoken({1000, 600, 1000, 600, 1000})));
  EXPECT_EQ(stream->finish(), SpeechApi::errorMessage("recognition_failed"));
  EXPECT_EQ(engine.requestCount(), before + 1);
  EXPECT_EQ(transcribe("english", spoken({1000})).status, 200);

  // An engine nobody listens for.
  settings.baseURL = "http://127.0.0.1:" + std::to_string(ContractServer().port()) + "/v1";
  start();
  EXPECT_EQ(transcribe("english", spoken({1000})).body, failed.body);
  for (const char* secret : {apiKey, vocabulary, "hello"}) {
    EXPECT_EQ(logText.str().find(secret), std::string::npos) << secret;
  }
}

TEST_F(EngineContract, RewritesASelectionWithTheChatEndpoint) {
  start(true);
  const std::string answer =
      R"({"choices":[{"message":{"content":"HELLO"},"finish_reason":"stop"}]})";
  const std::pair<Reply, ApiReply> rows[] = {
      {Reply::json(200, answer), ApiReply::json(200, R"({"text":"HELLO"})")},
      {Reply::json(200, std::regex_replace(answer, std::regex("stop"), "length")),
       ApiReply::error(500, "recognition_failed")},
      {Reply::error(429, "rate_limit_exceeded"), ApiReply::error(503, "provider_rate_limited")},
  };
  for (const auto& [scripted, expected] : rows) {
    script({scripted});
    const ApiReply reply = api->handle(
        request("POST", "text",
                R"({"requestID":"T1","operation":"selectedVoiceTask","sourceRequestID":"",)"
                R"("text":"hello there","instruction":"make it shout"})"));
    EXPECT_EQ(reply.status, expected.status);
    EXPECT_EQ(reply.body, expected.body);
    const auto sent = engine.requests().back();
    EXPECT_EQ(sent.target, "/v1/chat/completions");
    EXPECT_EQ(sent.header("Authorization"), std::string("Bearer ") + apiKey);
    const auto body = boost::json::parse(sent.body);
    EXPECT_EQ(body.at("model"), "small-model");
    EXPECT_EQ(body.at("max_tokens"), settings.maximumTokens);
    const auto user = std::string(body.at("messages").at(1).at("content").as_string());
    EXPECT_NE(user.find("hello there"), std::string::npos);
    EXPECT_NE(user.find("make it shout"), std::string::npos);
  }
  EXPECT_EQ(logText.str().find("shout"), std::string::npos);
}

TEST_F(EngineContract, TidiesADictationOnlyWhenAskedAndFallsBackToTheBuiltInRules) {
  const auto clean = [this] {
    return api->handle(request("POST", "text",
                               R"({"requestID":"T2","operation":"macCleanupTraditional",)"
                               R"("sourceRequestID":"","text":"hello there"})"));
  };
  const std::string builtIn = clean().body;  // no chat server configured
  const std::string answer =
      R"({"choices":[{"message":{"content":"Hello, there!"},"finish_reason":"stop"}]})";
  for (bool asked : {false, true}) {
    settings.tidiesDictations = asked;
    start(true);
    const size_t before = engine.requests().size();
    if (asked) script({Reply::json(200, answer)});
    EXPECT_EQ(boost::json::parse(clean().body).at("text") == "Hello, there!", asked);
    EXPECT_EQ(engine.requests().size() - before, asked ? 1u : 0u);
  }
  script({Reply::error(500, "server_error")});
  EXPECT_EQ(clean().body, builtIn);
}

}  // namespace
