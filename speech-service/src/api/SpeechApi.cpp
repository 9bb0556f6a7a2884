#include "api/SpeechApi.h"

#include <algorithm>
#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>
#include <boost/url/parse.hpp>
#include <boost/url/parse_query.hpp>
#include <chrono>

#include "accounts/AccountStore.h"
#include "api/SignInPage.h"
#include "engine/ChatRewriter.h"
#include "recognition/Recogniser.h"
#include "recognition/WavAudio.h"
#include "server/ServiceLog.h"
#include "text/ChineseConverter.h"
#include "text/SpokenTask.h"
#include "text/TextCleanup.h"
#include "text/Utf8Text.h"

namespace wrenly::speech {

namespace json = boost::json;

namespace {

constexpr std::string_view signInPath = "account/mac/sign-in";
constexpr std::string_view privacyPath = "/privacy/";
// Identifiers are UUIDs; anything much longer is not one of ours, and each is kept on disk.
constexpr std::size_t maximumIdentifierBytes = 128;
// The most of the words so far an interim message carries, from their end.
constexpr std::size_t interimCodePoints = 200;

bool isIdentifier(std::string_view id, bool mayBeEmpty) {
  return (mayBeEmpty || !id.empty()) && id.size() <= maximumIdentifierBytes;
}

std::string jsonText(const json::value& value) {
  return json::serialize(value);
}

// The body as a JSON object, or none.
std::optional<json::object> objectOf(std::string_view body) {
  boost::system::error_code ec;
  json::value value = json::parse(body, ec);
  if (ec || !value.is_object()) return std::nullopt;
  return std::move(value.as_object());
}

// The string members `names` of `object`, or none when one is missing or not a string.
template <size_t N>
std::optional<std::array<std::string, N>> strings(const json::object& object,
                                                  const std::array<std::string_view, N>& names) {
  std::array<std::string, N> values;
  for (size_t i = 0; i < N; ++i) {
    const json::value* member = object.if_contains(names[i]);
    if (!member || !member->is_string()) return std::nullopt;
    values[i] = std::string(member->as_string());
  }
  return values;
}

// Only the loopback names: a page or call reached through any other name (DNS rebinding, a
// proxy) is refused.
bool isLoopbackHost(std::string_view host) {
  if (host.starts_with("[::1]")) {
    host.remove_prefix(5);
  } else {
    const size_t colon = host.rfind(':');
    const std::string_view name = host.substr(0, colon);
    if (name != "localhost" && name != "127.0.0.1") return false;
    host = colon == std::string_view::npos ? std::string_view() : host.substr(colon);
  }
  if (host.empty()) return true;
  if (host.front() != ':' || host.size() == 1) return false;
  return host.substr(1).find_first_not_of("0123456789") == std::string_view::npos;
}

// A user's vocabulary hint is a short list of words; the client sends at most 600 bytes.
constexpr std::size_t maximumVocabularyBytes = 2000;

// The request a client's language names, when the engine serves it ("auto" always).
std::optional<RecognitionRequest> recognitionRequest(const Recogniser& recogniser,
                                                     std::string_view language) {
  const auto named = VoiceLanguage::fromRaw(language);
  if (!named) return std::nullopt;
  const auto served = recogniser.languages();
  if (*named != VoiceLanguage::automatic &&
      std::find(served.begin(), served.end(), *named) == served.end()) {
    return std::nullopt;
  }
  return RecognitionRequest{*named, {}};
}

std::string heardLanguage(const Recognition& recognition, const Recogniser& recogniser) {
  return recognition.language.empty() ? recogniser.languageCode() : recognition.language;
}

bool isProposedToken(std::string_view token) {
  return token.size() >= 32 && token.size() <= 256 &&
         token.find_first_not_of(
             "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_") ==
             std::string_view::npos;
}

std::string queryValue(std::string_view query, std::string_view name) {
  auto params = boost::urls::parse_query(query);
  if (!params) return {};
  for (auto param : *params) {
    if (param.key.decode() == name && param.has_value) return param.value.decode();
  }
  return {};
}

ApiReply htmlReply(int status, std::string body) {
  ApiReply reply{status, "text/html; charset=utf-8", std::move(body), {}};
  reply.headers = {
      {"Cache-Control", "no-store"},
      {"X-Frame-Options", "DENY"},
      {"Referrer-Policy", "same-origin"},  // see SignInPage.cpp
      {"Content-Security-Policy",
       "default-src 'none'; style-src 'unsafe-inline'; form-action 'self' wrenly-auth:; "
       "frame-ancestors 'none'"}};
  return reply;
}

std::string recognitionError(RecognitionFailure failure) {
  return failure == RecognitionFailure::busy ? "provider_rate_limited" : "recognition_failed";
}

}  // namespace

std::string SpeechApi::errorMessage(std::string_view code) {
  return jsonText(json::object{{"type", "error"}, {"code", code}});
}

bool SpeechApi::isStreamTarget(std::string_view target) const {
  auto url = boost::urls::parse_origin_form(target);
  return url && url->encoded_path() == std::string(basePath) + "stream";
}

bool SpeechApi::isRecognitionTarget(std::string_view target) const {
  auto url = boost::urls::parse_origin_form(target);
  return url && url->encoded_path() == std::string(basePath) + "transcribe";
}

std::optional<ApiReply> SpeechApi::refuseEarly(const ApiRequest& head) {
  if (!isLoopbackHost(head.host)) return ApiReply::error(421, "misdirected_request");
  // A page of another site may open a WebSocket to any port; only the program's own client
  // (which sends no origin) or a page of this service may stream.
  if (isStreamTarget(head.target) && !head.origin.empty() &&
      head.origin != "https://" + head.host) {
    return ApiReply::error(403, "invalid_access");
  }
  if (!authenticate(head)) return ApiReply::error(401, "invalid_access");
  return std::nullopt;
}

ApiReply SpeechApi::handle(const ApiRequest& request) {
  const auto started = std::chrono::steady_clock::now();
  std::string logName = "unknown";
  ApiReply reply;
  auto url = boost::urls::parse_origin_form(request.target);
  if (!url) {
    reply = ApiReply::error(400, "malformed_request");
  } else if (!isLoopbackHost(request.host)) {
    reply = ApiReply::error(421, "misdirected_request");
  } else if (url->encoded_path() == privacyPath && request.method == "GET") {
    logName = "privacy";
    reply = htmlReply(200, privacyPage());
  } else if (!url->encoded_path().starts_with(basePath)) {
    reply = ApiReply::error(404, "not_found");
  } else {
    std::string_view path = url->encoded_path();
    path.remove_prefix(basePath.size());
    reply = route(request, path, url->encoded_query(), logName);
  }
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  parts_.log.line("http method=" + (request.method.size() <= 8 ? request.method : "other") +
                  " path=" + logName + " status=" + std::to_string(reply.status) +
                  " elapsed_ms=" + std::to_string(elapsed.count()));
  return reply;
}

ApiReply SpeechApi::route(const ApiRequest& request, std::string_view path, std::string_view query,
                          std::string& logName) {
  struct Route {
    std::string_view path;
    std::string_view allowed;
  };
  static constexpr Route routes[] = {
      {"transcribe", "POST"},    {"text", "POST"},          {"account/mac/start", "POST"},
      {signInPath, "GET, POST"}, {"access", "GET, DELETE"}, {"account/session", "DELETE"},
      {"stream", "GET"},         {"engine", "GET"}};
  const Route* found = nullptr;
  for (const Route& route : routes) {
    if (route.path == path) found = &route;
  }
  if (!found) return ApiReply::error(404, "not_found");
  logName = std::string(found->path);
  const std::string_view method = request.method;
  bool allowed = false;
  for (std::string_view rest = found->allowed; !rest.empty();) {
    const size_t comma = rest.find(", ");
    allowed = allowed || rest.substr(0, comma) == method;
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 2);
  }
  if (!allowed) {
    ApiReply reply = ApiReply::error(405, "method_not_allowed");
    reply.headers.emplace_back("Allow", std::string(found->allowed));
    return reply;
  }
  // Only the pages a browser shows come without TLS.
  if (request.security == ConnectionSecurity::plain && path != signInPath) {
    return ApiReply::error(403, "tls_required");
  }
  if (path == "stream") return ApiReply::error(426, "upgrade_required");
  if (path == "account/mac/start") return startSignIn(request);
  if (path == signInPath) {
    return method == "GET" ? signInPage(request, query) : decideSignIn(request);
  }

  std::string token;
  const auto account = authenticate(request, &token);
  if (!account) return ApiReply::error(401, "invalid_access");
  if (path == "access" && method == "GET") return ApiReply::json(200, R"({"active":true})");
  if (path == "engine") return engine();
  if (path == "access") {
    parts_.accounts.deleteAccount(*account);
    return ApiReply::json(200, "{}");
  }
  if (path == "account/session") {
    parts_.accounts.revoke(token);
    return ApiReply::json(200, "{}");
  }
  return path == "transcribe" ? transcribe(request, *account) : text(request, *account);
}

std::optional<AccountID> SpeechApi::authenticate(const ApiRequest& request, std::string* token) {
  std::string_view header = request.authorization;
  if (!header.starts_with("Bearer ")) return std::nullopt;
  header.remove_prefix(7);
  if (header.empty()) return std::nullopt;
  if (token) *token = std::string(header);
  return parts_.accounts.accountOf(header);
}

ApiReply SpeechApi::transcribe(const ApiRequest& request, AccountID account) {
  const auto body = objectOf(request.body);
  const auto members =
      body ? strings<4>(*body, {"requestID", "wavBase64", "language", "streamRecoveryID"})
           : std::nullopt;
  if (!members) return ApiReply::error(400, "invalid_request");
  const auto& [requestID, wavBase64, language, recoveryID] = *members;
  if (!isIdentifier(requestID, false) || !isIdentifier(recoveryID, true)) {
    return ApiReply::error(400, "invalid_request");
  }
  auto recognition = recognitionRequest(parts_.recogniser, language);
  if (!recognition) return ApiReply::error(400, "unsupported_language");
  // Optional, for clients that know it; older ones send no such member.
  if (const json::value* vocabulary = body->if_contains("vocabulary")) {
    if (!vocabulary->is_string() || vocabulary->as_string().size() > maximumVocabularyBytes) {
      return ApiReply::error(400, "invalid_request");
    }
    recognition->vocabulary = std::string(vocabulary->as_string());
  }
  auto slot = busy_.claim(account, requestID, recoveryID, {});
  if (!slot) return ApiReply::error(409, "request_busy");
  const auto wav = decodeBase64(wavBase64);
  if (!wav) return ApiReply::error(400, "invalid_audio");
  auto samples = readWav(*wav);
  if (auto* failure = std::get_if<WavFailure>(&samples)) {
    return *failure == WavFailure::notWav ? ApiReply::error(400, "invalid_audio")
                                          : ApiReply::error(415, "unsupported_audio");
  }
  // The same cap as a stream's: a longer upload would hold a decoder for minutes.
  if (std::get<std::vector<std::int16_t>>(samples).size() * 2 > maximumAudioBytes()) {
    return ApiReply::error(413, "audio_too_long");
  }
  parts_.accounts.recordRequest(account, requestID, "transcribe", recoveryID, parts_.now());
  auto outcome =
      parts_.recogniser.recognise(std::get<std::vector<std::int16_t>>(samples), *recognition);
  if (auto* failure = std::get_if<RecognitionFailure>(&outcome)) {
    return ApiReply::error(*failure == RecognitionFailure::busy ? 503 : 500,
                           recognitionError(*failure));
  }
  const auto& heard = std::get<Recognition>(outcome);
  // An empty text is how the client learns that nothing was said.
  return ApiReply::json(200,
                        jsonText(json::object{{"text", heard.transcript},
                                              {"language", heardLanguage(heard, parts_.recogniser)},
                                              {"segments", heard.segments}}));
}

ApiReply SpeechApi::engine() const {
  json::array languages{"auto"};
  for (VoiceLanguage language : parts_.recogniser.languages()) {
    languages.emplace_back(language.rawValue());
  }
  return ApiReply::json(200, jsonText(json::object{{"engine", parts_.recogniser.engineName()},
                                                   {"languages", std::move(languages)}}));
}

ApiReply SpeechApi::text(const ApiRequest& request, AccountID account) {
  const auto body = objectOf(request.body);
  const auto members =
      body ? strings<4>(*body, {"requestID", "operation", "sourceRequestID", "text"})
           : std::nullopt;
  if (!members) return ApiReply::error(400, "invalid_request");
  const auto& [requestID, operation, sourceID, text] = *members;
  if (!isIdentifier(requestID, false) || !isIdentifier(sourceID, true)) {
    return ApiReply::error(400, "invalid_request");
  }
  if (operation != "macCleanupTraditional" && operation != "selectedVoiceTask") {
    return ApiReply::error(400, "unsupported_operation");
  }
  auto slot = busy_.claim(account, requestID, {}, {});
  if (!slot) return ApiReply::error(409, "request_busy");
  parts_.accounts.recordRequest(account, requestID, operation, sourceID, parts_.now());
  if (operation == "macCleanupTraditional") {
    std::string dictation = text;
    if (parts_.rewriter && parts_.rewriter->tidiesDictations()) {
      // The model's punctuation when it answers; the built-in clean-up alone when it does not.
      auto tidied = parts_.rewriter->tidy(text);
      if (auto* better = std::get_if<std::string>(&tidied)) dictation = std::move(*better);
    }
    return ApiReply::json(
        200, jsonText(json::object{{"text", tidyTranscript(dictation, parts_.converter)}}));
  }
  const auto instruction = strings<1>(*body, {"instruction"});
  if (!instruction) return ApiReply::error(400, "invalid_request");
  if (parts_.rewriter) {
    auto rewritten = parts_.rewriter->rewrite(text, (*instruction)[0]);
    if (auto* fault = std::get_if<EngineFault>(&rewritten)) {
      return *fault == EngineFault::busy ? ApiReply::error(503, "provider_rate_limited")
                                         : ApiReply::error(500, "recognition_failed");
    }
    return ApiReply::json(200, jsonText(json::object{{"text", std::get<std::string>(rewritten)}}));
  }
  auto kind = interpretInstruction((*instruction)[0], parts_.converter);
  if (auto* failure = std::get_if<SpokenTaskFailure>(&kind)) {
    return ApiReply::error(422, *failure == SpokenTaskFailure::ambiguousInstruction
                                    ? "ambiguous_instruction"
                                    : "unsupported_instruction");
  }
  return ApiReply::json(
      200, jsonText(json::object{
               {"text", applySpokenTask(std::get<SpokenTaskKind>(kind), text, parts_.converter)}}));
}

ApiReply SpeechApi::startSignIn(const ApiRequest& request) {
  const auto body = objectOf(request.body);
  const auto members = body ? strings<1>(*body, {"token"}) : std::nullopt;
  if (!members) return ApiReply::error(400, "invalid_request");
  const std::string& token = (*members)[0];
  if (!isProposedToken(token)) return ApiReply::error(400, "invalid_token");
  const std::string state = randomSecret();
  switch (parts_.accounts.propose(token, state, parts_.now(), limits_.maximumPendingSignIns)) {
    case ProposalOutcome::tokenInUse:
      return ApiReply::error(409, "token_in_use");
    case ProposalOutcome::tooManyPending:
      return ApiReply::error(503, "provider_rate_limited");
    case ProposalOutcome::proposed:
      break;
  }
  // The page lives at the address the program called, over plain HTTP: a browser cannot know
  // the service's own authority and would warn about it, and loopback traffic stays on this
  // machine.
  const std::string page = "http://" + request.host + std::string(basePath) +
                           std::string(signInPath) + "?state=" + state;
  return ApiReply::json(200, jsonText(json::object{{"authorizationURL", page}, {"state", state}}));
}

ApiReply SpeechApi::signInPage(const ApiRequest&, std::string_view query) {
  const std::string state = queryValue(query, "state");
  if (state.empty() || !parts_.accounts.signInPending(state, parts_.now())) {
    return htmlReply(410, expiredSignInPage());
  }
  return htmlReply(
      200, wrenly::speech::signInPage(std::string(basePath) + std::string(signInPath), state));
}

ApiReply SpeechApi::decideSignIn(const ApiRequest& request) {
  // Only this page may post the decision: a form on any other site is refused.
  const std::string_view scheme =
      request.security == ConnectionSecurity::tls ? "https://" : "http://";
  if (!request.origin.empty() && request.origin != std::string(scheme) + request.host) {
    return htmlReply(403, expiredSignInPage());
  }
  const std::string state = queryValue(request.body, "state");
  const std::string decision = queryValue(request.body, "decision");
  if (state.empty() || (decision != "allow" && decision != "deny")) {
    return htmlReply(400, expiredSignInPage());
  }
  const auto outcome = parts_.accounts.completeSignIn(state, decision == "allow", parts_.now());
  if (outcome == SignInOutcome::unknownState) return htmlReply(410, expiredSignInPage());
  if (outcome == SignInOutcome::failed) return htmlReply(500, expiredSignInPage());
  std::string callback = "wrenly-auth://complete?state=" + state;
  if (outcome == SignInOutcome::declined) callback += "&error=access_denied";
  ApiReply reply = htmlReply(303, returningPage(callback));
  reply.headers.emplace_back("Location", callback);
  return reply;
}

std::variant<std::unique_ptr<StreamDecoding>, std::string> SpeechApi::openStream(
    const ApiRequest& request, std::function<void()> onSuperseded) {
  auto url = boost::urls::parse_origin_form(request.target);
  if (!url || !isLoopbackHost(request.host)) return errorMessage("invalid_request");
  const std::string query(url->encoded_query());
  const std::string requestID = queryValue(query, "requestID");
  const std::string language = queryValue(query, "language");
  const std::string cleanup = queryValue(query, "cleanup");
  std::string vocabulary = queryValue(query, "vocabulary");  // optional
  if (!isIdentifier(requestID, false) || (cleanup != "0" && cleanup != "1") ||
      vocabulary.size() > maximumVocabularyBytes) {
    return errorMessage("invalid_request");
  }
  const auto account = authenticate(request);
  if (!account) return errorMessage("invalid_access");
  auto recognition = recognitionRequest(parts_.recogniser, language);
  if (!recognition) return errorMessage("unsupported_language");
  recognition->vocabulary = std::move(vocabulary);
  auto slot = busy_.claim(*account, requestID, {}, std::move(onSuperseded));
  if (!slot) return errorMessage("request_busy");
  auto opened = parts_.recogniser.open(*recognition);
  if (auto* failure = std::get_if<RecognitionFailure>(&opened)) {
    return errorMessage(recognitionError(*failure));
  }
  parts_.accounts.recordRequest(*account, requestID, "stream", "", parts_.now());
  // Only a client that asks gets interim messages: earlier ones end a stream at any message
  // they do not know.
  return std::make_unique<StreamSession>(
      std::move(*slot), std::move(std::get<std::unique_ptr<RecognitionStream>>(opened)),
      cleanup == "1", queryValue(query, "interim") == "1", parts_, maximumAudioBytes());
}

StreamSession::StreamSession(BusyUsers::Slot slot, std::unique_ptr<RecognitionStream> recognition,
                             bool cleanup, bool interim, const ServiceParts& parts,
                             std::size_t maximumAudioBytes)
    : slot_(std::move(slot)),
      recognition_(std::move(recognition)),
      cleanup_(cleanup),
      interim_(interim),
      parts_(parts),
      maximumAudioBytes_(maximumAudioBytes) {}

StreamSession::~StreamSession() = default;

std::optional<std::string> StreamSession::feed(std::string_view pcm) {
  if (!recognition_) return SpeechApi::errorMessage("invalid_request");
  audioBytes_ += pcm.size();
  ++frames_;
  if (audioBytes_ > maximumAudioBytes_) return SpeechApi::errorMessage("audio_too_long");
  std::string joined;
  if (!oddByte_.empty()) {
    joined = oddByte_ + std::string(pcm);
    pcm = joined;
    oddByte_.clear();
  }
  if (pcm.size() % 2 == 1) {
    oddByte_ = pcm.substr(pcm.size() - 1);
    pcm.remove_suffix(1);
  }
  if (!recognition_->feed(samplesOf(pcm))) return SpeechApi::errorMessage("recognition_failed");
  return std::nullopt;
}

std::optional<std::string> StreamSession::interim() {
  if (!interim_ || !recognition_) return std::nullopt;
  std::string words = recognition_->wordsSoFar();
  if (words.empty() || words == lastWords_) return std::nullopt;
  lastWords_ = words;
  // The client shows one line of the newest words: the rest need not travel again and again.
  std::u32string shown = codePointsOf(words);
  if (shown.size() > interimCodePoints) shown.erase(0, shown.size() - interimCodePoints);
  std::string text = utf8Of(shown);
  if (cleanup_) text = parts_.converter.toTraditional(text);
  return jsonText(json::object{{"type", "interim"}, {"text", text}});
}

std::string StreamSession::finish() {
  if (!recognition_) return SpeechApi::errorMessage("invalid_request");
  auto outcome = recognition_->finish();
  recognition_.reset();
  slot_.reset();
  if (auto* failure = std::get_if<RecognitionFailure>(&outcome)) {
    return SpeechApi::errorMessage(recognitionError(*failure));
  }
  const auto& recognition = std::get<Recognition>(outcome);
  if (recognition.transcript.empty()) return SpeechApi::errorMessage("no_speech");
  const std::string text =
      cleanup_ ? tidyTranscript(recognition.transcript, parts_.converter) : recognition.transcript;
  return jsonText(json::object{{"type", "result"},
                               {"transcript", recognition.transcript},
                               {"text", text},
                               {"segments", recognition.segments},
                               {"fallbackSegments", frames_},
                               {"language", heardLanguage(recognition, parts_.recogniser)}});
}

}  // namespace wrenly::speech
