#include "support/service/ContractService.h"

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>
#include <cctype>

namespace {

constexpr std::string_view basePath = "/wrenly/v1/";

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string jsonString(std::string_view text) {
  return boost::json::serialize(boost::json::value(boost::json::string(text)));
}

bool isBase64(std::string_view text) {
  if (text.size() % 4 != 0) return false;
  for (char c : text) {
    bool ok = std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/' || c == '=';
    if (!ok) return false;
  }
  return true;
}

const boost::json::string* stringMember(const boost::json::object& object, std::string_view name) {
  const boost::json::value* value = object.if_contains(name);
  return value ? value->if_string() : nullptr;
}

}  // namespace

std::optional<std::string> ContractService::Request::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (equalsIgnoringCase(key, name)) return value;
  }
  return std::nullopt;
}

std::optional<std::string> ContractService::Request::bearerToken() const {
  auto value = header("Authorization");
  if (!value || value->rfind("Bearer ", 0) != 0) return std::nullopt;
  return value->substr(7);
}

ContractService::Reply ContractService::Reply::json(int status, std::string body) {
  Reply reply;
  reply.status = status;
  reply.body = std::move(body);
  return reply;
}

ContractService::Reply ContractService::Reply::error(int status, std::string code) {
  return json(status, "{\"error\":{\"code\":" + jsonString(code) + "}}");
}

ContractService::Reply ContractService::Reply::busy() {
  return error(503, "request_busy");
}

ContractService::Reply ContractService::Reply::text(std::string text) {
  return json(200, "{\"text\":" + jsonString(text) + "}");
}

ContractService::Reply ContractService::Reply::stalled() {
  Reply reply;
  reply.stall = true;
  return reply;
}

void ContractService::enqueue(std::string method, std::string path, Reply reply, int times) {
  std::lock_guard lock(mutex_);
  auto& queue = queued_[method + " " + path];
  for (int i = 0; i < times; ++i) queue.push_back(reply);
}

void ContractService::setHandler(Handler handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

void ContractService::addAccount(const std::string& token, bool active) {
  std::lock_guard lock(mutex_);
  accounts_.push_back(Account{active, {token}});
}

void ContractService::setAccountActive(const std::string& token, bool active) {
  std::lock_guard lock(mutex_);
  for (auto& account : accounts_) {
    if (account.tokens.count(token)) account.active = active;
  }
}

void ContractService::approveSignIn(const std::string& token) {
  std::lock_guard lock(mutex_);
  if (pendingTokens_.erase(token)) accounts_.push_back(Account{true, {token}});
}

bool ContractService::acceptsToken(const std::string& token) const {
  std::lock_guard lock(mutex_);
  for (const auto& account : accounts_) {
    if (account.tokens.count(token)) return true;
  }
  return false;
}

void ContractService::setTranscript(std::string text) {
  std::lock_guard lock(mutex_);
  transcript_ = std::move(text);
}

void ContractService::setCleanedText(std::string text) {
  std::lock_guard lock(mutex_);
  cleanedText_ = std::move(text);
}

void ContractService::setRewrittenText(std::string text) {
  std::lock_guard lock(mutex_);
  rewrittenText_ = std::move(text);
}

std::vector<ContractService::Request> ContractService::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

size_t ContractService::requestCount() const {
  std::lock_guard lock(mutex_);
  return requests_.size();
}

bool ContractService::waitForRequestCount(size_t count, std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, limit, [&] { return requests_.size() >= count; });
}

ContractService::Reply ContractService::answer(Request request) {
  if (request.target.rfind(basePath, 0) == 0) {
    request.path = request.target.substr(basePath.size());
  }
  Handler handler;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    handler = handler_;
  }
  arrived_.notify_all();
  if (handler) {
    if (auto reply = handler(request)) return *reply;
  }
  std::lock_guard lock(mutex_);
  if (auto it = queued_.find(request.method + " " + request.path);
      it != queued_.end() && !it->second.empty()) {
    Reply reply = std::move(it->second.front());
    it->second.pop_front();
    return reply;
  }
  return modelReply(request);
}

ContractService::Reply ContractService::authorised(
    const Request& request, const std::function<Reply(const std::string&)>& then) {
  auto token = request.bearerToken();
  if (!token) return Reply::json(401, "");
  for (const auto& account : accounts_) {
    if (account.tokens.count(*token)) return then(*token);
  }
  return Reply::error(401, "invalid_access");
}

// Called with the mutex held.
ContractService::Reply ContractService::modelReply(const Request& request) {
  const std::string call = request.method + " " + request.path;
  if (call == "POST account/mac/start") {
    boost::system::error_code ec;
    auto body = boost::json::parse(request.body, ec);
    const auto* object = ec ? nullptr : body.if_object();
    const auto* token = object ? stringMember(*object, "token") : nullptr;
    if (!token || token->empty()) return Reply::error(400, "invalid_request");
    pendingTokens_.insert(std::string(*token));
    std::string state = "state" + std::to_string(nextState_++);
    return Reply::json(200,
                       "{\"authorizationURL\":\"https://appleid.apple.com/auth/authorize?"
                       "state=" +
                           state + "\",\"state\":\"" + state + "\"}");
  }
  if (call == "GET access") {
    return authorised(request, [&](const std::string& token) {
      for (const auto& account : accounts_) {
        if (account.tokens.count(token)) {
          return Reply::json(200, account.active ? "{\"active\":true}" : "{\"active\":false}");
        }
      }
      return Reply::json(500, "");
    });
  }
  if (call == "DELETE account/session") {
    return authorised(request, [&](const std::string& token) {
      for (auto& account : accounts_) account.tokens.erase(token);
      return Reply::json(200, "{}");
    });
  }
  if (call == "DELETE access") {
    return authorised(request, [&](const std::string& token) {
      std::erase_if(accounts_, [&](const Account& a) { return a.tokens.count(token) > 0; });
      return Reply::json(200, "{}");
    });
  }
  if (call == "POST transcribe" || call == "POST text") {
    return authorised(request, [&](const std::string&) {
      boost::system::error_code ec;
      auto body = boost::json::parse(request.body, ec);
      const auto* object = ec ? nullptr : body.if_object();
      if (!object || !stringMember(*object, "requestID")) {
        return Reply::error(400, "invalid_request");
      }
      if (request.path == "transcribe") {
        const auto* wav = stringMember(*object, "wavBase64");
        if (!wav || !isBase64(*wav) || !stringMember(*object, "language") ||
            !stringMember(*object, "streamRecoveryID")) {
          return Reply::error(400, "invalid_request");
        }
        return Reply::text(transcript_);
      }
      const auto* operation = stringMember(*object, "operation");
      if (!operation || !stringMember(*object, "text") ||
          !stringMember(*object, "sourceRequestID")) {
        return Reply::error(400, "invalid_request");
      }
      if (*operation == "macCleanupTraditional") return Reply::text(cleanedText_);
      if (*operation == "selectedVoiceTask" && stringMember(*object, "instruction")) {
        return Reply::text(rewrittenText_);
      }
      return Reply::error(400, "invalid_request");
    });
  }
  return Reply::error(404, "not_found");
}
