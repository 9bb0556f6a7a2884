#pragma once

#include <curl/curl.h>

#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/write.hpp>
#include <sstream>

#include "accounts/AccountStore.h"
#include "api/SpeechApi.h"
#include "recognition/Recogniser.h"
#include "server/ServiceLog.h"
#include "server/SpeechServer.h"
#include "service/HttpTransport.h"
#include "service/TransportError.h"
#include "support/TemporaryDirectory.h"
#include "text/ChineseConverter.h"

namespace wrenly::speech {

// A recogniser that hears `transcript` in any audio (all of it from the first samples on), and
// counts what it was given.
class FixedRecogniser final : public Recogniser {
 public:
  std::string transcript = "go forward ten meters";
  std::atomic<int> opened{0};
  std::atomic<size_t> samples{0};
  std::atomic<bool> held{false};  // while set, every recognition waits before it finishes

  std::variant<std::unique_ptr<RecognitionStream>, RecognitionFailure> open(
      const RecognitionRequest&) override {
    ++opened;
    return std::make_unique<Stream>(*this);
  }
  std::string languageCode() const override { return "en"; }
  std::string_view engineName() const override { return "built-in"; }
  std::vector<VoiceLanguage> languages() const override { return {VoiceLanguage::english}; }

 private:
  struct Stream final : RecognitionStream {
    explicit Stream(FixedRecogniser& recogniser) : owner(recogniser) {}
    bool feed(std::span<const std::int16_t> audio) override {
      owner.samples += audio.size();
      return true;
    }
    RecognitionOutcome finish() override {
      owner.held.wait(true);
      return Recognition{owner.transcript, 4, {}};
    }
    std::string wordsSoFar() override { return owner.samples > 0 ? owner.transcript : ""; }
    FixedRecogniser& owner;
  };
};

// A TLS connection to a loopback port, trusting `authority` alone.
struct TlsConnection {
  TlsConnection(const std::filesystem::path& authority, unsigned short port) {
    tls.load_verify_file(authority.string());
    tls.set_verify_mode(boost::asio::ssl::verify_peer);
    stream.next_layer().connect({boost::asio::ip::make_address("127.0.0.1"), port});
    stream.handshake(boost::asio::ssl::stream_base::client);
  }
  // Sends `raw`, then reads until `mark` came or the connection ended; returns all that came.
  std::string exchange(const std::string& raw, std::string_view mark) {
    boost::asio::write(stream, boost::asio::buffer(raw));
    boost::system::error_code ec;
    boost::asio::read_until(stream, boost::asio::dynamic_buffer(received), mark, ec);
    return received;
  }

  boost::asio::io_context io;
  boost::asio::ssl::context tls{boost::asio::ssl::context::tls_client};
  boost::asio::ssl::stream<boost::asio::ip::tcp::socket> stream{io, tls};
  std::string received;
};

// The whole service on 127.0.0.1 with an ephemeral port and a fresh data folder, with the caps
// and limits given; or, as a user runs it, on a socket in that folder serving `owner` (this
// process's user unless given) with its pages on an ephemeral port.
struct LocalService {
  explicit LocalService(ServerSetup caps = {}, ServiceLimits smallLimits = {})
      : setup(std::move(caps)), limits(smallLimits) {
    start();
  }
  explicit LocalService(std::optional<unsigned> servedUser) {
    setup.listen = UserSocket{folder / "speech-service.sock"};
    setup.owner = servedUser;
    start();
  }

  TemporaryDirectory folder;
  ServerSetup setup;
  ServiceLimits limits;
  ServerIdentity identity = loadOrCreateIdentity(folder.path()).value();
  std::unique_ptr<AccountStore> accounts =
      std::move(AccountStore::open(folder / "accounts.sqlite").value());
  std::unique_ptr<ChineseConverter> converter = std::move(ChineseConverter::create().value());
  FixedRecogniser recogniser;
  std::ostringstream logText;
  ServiceLog log{logText};
  SpeechApi api{ServiceParts{*accounts, recogniser, *converter, log, [] { return 1'000'000; }},
                limits};
  std::unique_ptr<SpeechServer> server;

  void start() {
    setup.identity = identity;
    server = std::move(SpeechServer::start(setup, api, log).value());
  }
  std::string baseURL() const {
    return "https://127.0.0.1:" + std::to_string(server->port()) + "/wrenly/v1/";
  }
  // One HTTPS call to `path` under the base URL as the program makes it, trusting the service's
  // authority alone: the answer, or status 0 when none came.
  HttpResponse fetch(const std::string& path, const std::string& method, std::string body = {},
                     std::vector<std::string> headers = {}) const {
    const HttpRequest request{baseURL() + path,
                              method,
                              std::move(headers),
                              body.empty() ? nullptr : std::make_shared<const std::string>(body),
                              10,
                              identity.authorityFile};
    TransferControl control;
    try {
      return performHttpRequest(request, control);
    } catch (const TransportError&) {
      return {};
    }
  }
  // Sends `raw` over TLS and returns the status line of the answer.
  std::string statusLineOf(const std::string& raw) const {
    const std::string answer =
        TlsConnection(identity.authorityFile, server->port()).exchange(raw, "\r\n");
    return answer.substr(0, answer.find("\r\n"));
  }
  // An account whose bearer token is `token`, as a completed sign-in leaves it.
  void addAccount(const std::string& token) {
    const std::string state = "state-" + token;
    accounts->propose(token, state, 1'000'000);
    accounts->completeSignIn(state, true, 1'000'000);
  }
};

// The status a browser gets for a plain-HTTP request (0 when no answer came): a POST of `body`
// when there is one.
inline long plainStatus(const std::string& url, const std::string& body = {},
                        const std::vector<std::string>& headers = {}) {
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), curl_easy_cleanup);
  curl_slist* list = nullptr;
  for (const auto& header : headers) list = curl_slist_append(list, header.c_str());
  curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy.get(), CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, list);
  curl_easy_setopt(easy.get(), CURLOPT_TIMEOUT_MS, 30'000L);
  curl_easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(
      easy.get(), CURLOPT_WRITEFUNCTION,
      +[](char*, size_t size, size_t count, void*) { return size * count; });
  if (!body.empty()) curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDS, body.c_str());
  long status = 0;
  if (curl_easy_perform(easy.get()) == CURLE_OK) {
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
  }
  curl_slist_free_all(list);
  return status;
}

}  // namespace wrenly::speech
