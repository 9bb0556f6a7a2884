#include "support/service/ContractServer.h"

#include <algorithm>
#include <boost/algorithm/string/predicate.hpp>
#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>
#include <cctype>
#include <stdexcept>

namespace wrenly {

namespace {

constexpr std::string_view basePath = "/wrenly/v1/";

std::string jsonString(std::string_view text) {
  return boost::json::serialize(boost::json::value(boost::json::string(text)));
}

// The body as a JSON object; an empty one for any other body.
boost::json::object objectOf(std::string_view body) {
  boost::system::error_code ec;
  auto value = boost::json::parse(body, ec);
  return !ec && value.is_object() ? value.as_object() : boost::json::object();
}

bool hasStrings(const boost::json::object& object, std::initializer_list<std::string_view> names) {
  for (auto name : names) {
    if (!object.contains(name) || !object.at(name).is_string()) return false;
  }
  return true;
}

bool isBase64(std::string_view text) {
  return text.size() % 4 == 0 && std::all_of(text.begin(), text.end(), [](unsigned char c) {
           return std::isalnum(c) || c == '+' || c == '/' || c == '=';
         });
}

}  // namespace

std::optional<std::string> ContractServer::Request::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (boost::algorithm::iequals(key, name)) return value;
  }
  return std::nullopt;
}

std::optional<std::string> ContractServer::Request::bearerToken() const {
  auto value = header("Authorization");
  if (!value || !value->starts_with("Bearer ")) return std::nullopt;
  return value->substr(7);
}

ContractServer::Reply ContractServer::Reply::json(int status, std::string body) {
  Reply reply;
  reply.status = status;
  reply.body = std::move(body);
  return reply;
}
ContractServer::Reply ContractServer::Reply::error(int status, std::string code) {
  return json(status, "{\"error\":{\"code\":" + jsonString(code) + "}}");
}
ContractServer::Reply ContractServer::Reply::text(std::string text) {
  return json(200, "{\"text\":" + jsonString(text) + "}");
}

void ContractServer::enqueue(std::string method, std::string path, Reply reply, int times) {
  std::lock_guard lock(mutex_);
  auto& queue = queued_[method + " " + path];
  queue.insert(queue.end(), static_cast<size_t>(std::max(times, 0)), reply);
}

void ContractServer::approveSignIn() {
  std::lock_guard lock(mutex_);
  for (const auto& token : pendingTokens_) accounts_.push_back(Account{true, {token}});
  pendingTokens_.clear();
}

ContractServer::Reply ContractServer::answer(Request request) {
  if (request.target.starts_with(basePath)) request.path = request.target.substr(basePath.size());
  const Handler handler = locked([&] {
    requests_.push_back(request);
    return handler_;
  });
  if (auto reply = handler ? handler(request) : std::nullopt) return *reply;
  std::lock_guard lock(mutex_);
  auto& queue = queued_[request.method + " " + request.path];
  if (queue.empty()) return modelReply(request);
  Reply reply = std::move(queue.front());
  queue.pop_front();
  return reply;
}

// Called with the mutex held.
ContractServer::Account* ContractServer::accountOf(const std::string& token) {
  for (auto& account : accounts_) {
    if (account.tokens.count(token)) return &account;
  }
  return nullptr;
}

// Called with the mutex held.
ContractServer::Reply ContractServer::modelReply(const Request& request) {
  const std::string call = request.method + " " + request.path;
  const auto body = objectOf(request.body);
  if (call == "POST account/mac/start") {
    if (!hasStrings(body, {"token"}) || body.at("token").as_string().empty()) {
      return Reply::error(400, "invalid_request");
    }
    pendingTokens_.insert(std::string(body.at("token").as_string()));
    const std::string state = "state" + std::to_string(nextState_++);
    return Reply::json(
        200, "{\"authorizationURL\":\"https://appleid.apple.com/auth/authorize?state=" + state +
                 "\",\"state\":\"" + state + "\"}");
  }
  if (call != "GET access" && call != "DELETE account/session" && call != "DELETE access" &&
      call != "POST transcribe" && call != "POST text") {
    return Reply::error(404, "not_found");
  }
  const auto token = request.bearerToken();
  if (!token) return Reply::json(401, "");
  Account* account = accountOf(*token);
  if (!account) return Reply::error(401, "invalid_access");
  if (call == "GET access") {
    return Reply::json(200, account->active ? "{\"active\":true}" : "{\"active\":false}");
  }
  if (call == "DELETE account/session") {
    for (auto& each : accounts_) each.tokens.erase(*token);
    return Reply::json(200, "{}");
  }
  if (call == "DELETE access") {
    std::erase_if(accounts_, [&](const Account& a) { return a.tokens.count(*token) > 0; });
    return Reply::json(200, "{}");
  }
  if (call == "POST transcribe" &&
      hasStrings(body, {"requestID", "wavBase64", "language", "streamRecoveryID"}) &&
      isBase64(body.at("wavBase64").as_string())) {
    return Reply::text(transcript_);
  }
  if (call == "POST text" &&
      hasStrings(body, {"requestID", "operation", "sourceRequestID", "text"})) {
    const auto& operation = body.at("operation").as_string();
    if (operation == "macCleanupTraditional") return Reply::text(cleanedText_);
    if (operation == "selectedVoiceTask" && hasStrings(body, {"instruction"})) {
      return Reply::text(rewrittenText_);
    }
  }
  return Reply::error(400, "invalid_request");
}

// The speech service's own listener, serving the scripted service instead of the real one.
ContractServer::ContractServer(TestCertificate certificate)
    : certificate_(std::move(certificate)),
      certificateFile_(directory_ / "server-certificate.pem") {
  certificate_.writeCertificate(certificateFile_);
  speech::ServerSetup setup;
  setup.listen = speech::ListenAddress{"127.0.0.1", 0};
  setup.identity.certificateChainPem = certificate_.certificatePem;
  setup.identity.privateKeyPem = certificate_.privateKeyPem;
  setup.networkThreads = 1;
  setup.workerThreads = 4;  // a stalled reply holds one
  setup.maximumBodyBytes = 64u << 20;
  // A reply the test drops must reach the client as a failure, not as a stale connection its
  // transport quietly retries.
  setup.reuse = speech::ConnectionReuse::oneRequestPerConnection;
  // Benchmarks tell the service's threads from the client's by this name.
  setup.threadName = "loopback-https";
  auto started = speech::SpeechServer::start(std::move(setup), *this, log_);
  if (!started) throw std::runtime_error("contract server: " + started.error().message);
  server_ = std::move(started.value());
}

ContractServer::~ContractServer() {
  release(true);
  server_.reset();  // before the state its threads use
}

std::string ContractServer::baseURL() const {
  return "https://127.0.0.1:" + std::to_string(port()) + "/wrenly/v1/";
}

speech::ApiReply ContractServer::handle(const speech::ApiRequest& request) {
  Reply reply = answer({request.method, request.target, {}, request.headers, request.body});
  if (reply.stall) {
    std::unique_lock lock(mutex_);
    const int generation = releases_;
    released_.wait(lock, [&] { return releases_ != generation || shuttingDown_; });
  }
  speech::ApiReply sent;
  sent.status = reply.status;
  sent.body = std::move(reply.body);
  sent.headers = std::move(reply.headers);
  if (reply.dropConnection) sent.delivery = speech::ApiReply::Delivery::dropConnection;
  return sent;
}

void ContractServer::release(bool forGood) {
  {
    std::lock_guard lock(mutex_);
    ++releases_;
    shuttingDown_ = shuttingDown_ || forGood;
  }
  released_.notify_all();
}

}  // namespace wrenly
