#pragma once

#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/write.hpp>
#include <sstream>

#include "CurlCall.h"
#include "accounts/AccountStore.h"
#include "api/SpeechApi.h"
#include "recognition/Recogniser.h"
#include "server/ServiceLog.h"
#include "server/SpeechServer.h"
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
    RecognitionOutcome finish() override { return Recognition{owner.transcript, 4, {}}; }
    std::string wordsSoFar() override { return owner.samples > 0 ? owner.transcript : ""; }
    FixedRecogniser& owner;
  };
};

// The whole service on 127.0.0.1 with an ephemeral port and a fresh data folder; or, as a user
// runs it, on a socket in that folder serving `owner` (this process's user unless given) with
// its pages on an ephemeral port.
struct LocalService {
  LocalService() = default;
  explicit LocalService(std::optional<unsigned> servedUser)
      : listen(UserSocket{folder / "speech-service.sock"}), owner(servedUser) {}

  TemporaryDirectory folder;
  std::variant<ListenAddress, int, UserSocket> listen = ListenAddress{"127.0.0.1", 0};
  std::optional<unsigned> owner;
  ServerIdentity identity = loadOrCreateIdentity(folder.path()).value();
  std::unique_ptr<AccountStore> accounts =
      std::move(AccountStore::open(folder / "accounts.sqlite").value());
  std::unique_ptr<ChineseConverter> converter = std::move(ChineseConverter::create().value());
  FixedRecogniser recogniser;
  std::ostringstream logText;
  ServiceLog log{logText};
  SpeechApi api{ServiceParts{*accounts, recogniser, *converter, log, [] { return 1'000'000; }}};
  std::unique_ptr<SpeechServer> server = start();

  std::unique_ptr<SpeechServer> start() {
    ServerSetup setup;
    setup.listen = listen;
    setup.identity = identity;
    setup.owner = owner;
    return std::move(SpeechServer::start(std::move(setup), api, log).value());
  }

  std::string baseURL() const {
    return "https://127.0.0.1:" + std::to_string(server->port()) + "/wrenly/v1/";
  }
  // One HTTPS call to `path` under the base URL, trusting the service's authority.
  HttpResponse fetch(const std::string& path, const std::string& method, std::string body = {},
                     std::vector<std::string> headers = {}) const {
    return httpsCall(baseURL() + path, method, identity.authorityFile, body, std::move(headers));
  }
  // Sends `raw` over TLS and returns the status line of the answer.
  std::string statusLineOf(const std::string& raw) const {
    namespace ssl = boost::asio::ssl;
    boost::asio::io_context io;
    ssl::context tls(ssl::context::tls_client);
    tls.load_verify_file(identity.authorityFile.string());
    tls.set_verify_mode(ssl::verify_peer);
    ssl::stream<boost::asio::ip::tcp::socket> stream(io, tls);
    stream.next_layer().connect({boost::asio::ip::make_address("127.0.0.1"), server->port()});
    stream.handshake(ssl::stream_base::client);
    boost::asio::write(stream, boost::asio::buffer(raw));
    std::string answer(512, '\0');
    boost::system::error_code ec;
    answer.resize(stream.read_some(boost::asio::buffer(answer), ec));
    return answer.substr(0, answer.find("\r\n"));
  }
  // An account whose bearer token is `token`, as a completed sign-in leaves it.
  void addAccount(const std::string& token) {
    const std::string state = "state-" + token;
    accounts->propose(token, state, 1'000'000);
    accounts->completeSignIn(state, true, 1'000'000);
  }
};

}  // namespace wrenly::speech
