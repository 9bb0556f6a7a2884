#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "ServiceOptions.h"
#include "accounts/AccountStore.h"
#include "api/SpeechApi.h"
#include "engine/ChatRewriter.h"
#include "engine/EndpointRecogniser.h"
#include "identity/DataFolder.h"
#include "recognition/PocketSphinxRecogniser.h"
#include "server/ServiceLog.h"
#include "server/SpeechServer.h"
#include "text/ChineseConverter.h"

using namespace wrenly::speech;

namespace {

int fail(ServiceLog& log, const StartupError& error) {
  log.line("start failed: " + error.message);
  return 1;
}

// The listening socket systemd hands over under socket activation (sd_listen_fds(3)).
std::optional<int> inheritedSocket() {
  const char* pid = std::getenv("LISTEN_PID");
  const char* fds = std::getenv("LISTEN_FDS");
  if (!pid || !fds || std::to_string(::getpid()) != pid || std::string(fds) == "0") {
    return std::nullopt;
  }
  return 3;
}

wrenly::Expected<std::unique_ptr<Recogniser>, StartupError> makeRecogniser(
    const EngineSettings& engine, int decoders, ServiceLog& log) {
  if (engine.kind == EngineKind::endpoint) {
    return std::unique_ptr<Recogniser>(
        std::make_unique<EndpointRecogniser>(engine.endpoint, engine.segments, log));
  }
  auto builtIn = PocketSphinxRecogniser::create(PocketSphinxModel{}, decoders);
  if (!builtIn) return builtIn.error();
  return std::unique_ptr<Recogniser>(std::move(builtIn.value()));
}

}  // namespace

int main(int argc, char** argv) {
  ServiceLog log(std::cerr);
  auto parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (auto* message = std::get_if<std::string>(&parsed)) {
    std::cerr << "wrenly-speech-service: " << *message << "\n" << usage;
    return 2;
  }
  const auto& options = std::get<ServiceOptions>(parsed);
  if (options.help) {
    std::cout << usage;
    return 0;
  }

  // Signals are taken by sigwait below, never by a handler on some other thread.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  // Every connection is a descriptor: take all the system allows this user (the connection cap
  // stays below it).
  if (rlimit files{}; ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
  }

  auto folder = prepareDataFolder(options.dataFolder);
  if (!folder) return fail(log, folder.error());
  auto identity = loadOrCreateIdentity(folder.value());
  if (!identity) return fail(log, identity.error());
  auto accounts = AccountStore::open(folder.value() / "accounts.sqlite");
  if (!accounts) return fail(log, accounts.error());
  auto converter = ChineseConverter::create();
  if (!converter) return fail(log, converter.error());
  auto engine = loadEngineSettings(options.configFile.value_or(defaultConfigFile()),
                                   options.configFile.has_value(), options.engineSettings);
  if (!engine) return fail(log, engine.error());
  auto recogniser = makeRecogniser(engine.value(), options.decoders, log);
  if (!recogniser) return fail(log, recogniser.error());
  std::optional<ChatRewriter> rewriter;
  if (engine.value().rewriter) rewriter.emplace(*engine.value().rewriter, log);
  log.line("engine " + std::string(recogniser.value()->engineName()) +
           " rewriter=" + (rewriter ? "endpoint" : "built-in"));

  SpeechApi api(ServiceParts{*accounts.value(), *recogniser.value(), *converter.value(), log,
                             [] {
                               return std::chrono::duration_cast<std::chrono::seconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                   .count();
                             },
                             rewriter ? &*rewriter : nullptr},
                options.limits);
  // Without --listen the service is its user's alone: its socket and the address of its pages
  // live in the user's runtime folder, where the program finds them.
  std::optional<std::filesystem::path> runtime;
  std::error_code ignored;
  if (!options.listen) {
    auto prepared = prepareRuntimeFolder();
    if (!prepared) return fail(log, prepared.error());
    runtime = prepared.value();
  }
  ServerSetup setup = options.server;
  if (auto fd = inheritedSocket()) {
    setup.listen = *fd;
  } else if (options.listen) {
    setup.listen = *options.listen;
  } else {
    setup.listen = UserSocket{*runtime / userSocketName};
  }
  setup.identity = identity.value();
  auto server = SpeechServer::start(std::move(setup), api, log);
  if (!server) return fail(log, server.error());
  if (auto pages = server.value()->pagesAddress(); pages && runtime) {
    if (!writePrivateFile(*runtime / pagesAddressName, "http://" + *pages + "/\n")) {
      return fail(log, StartupError{StartupFailure::listener, "cannot write the pages' address"});
    }
  }
  log.line("listening port=" + std::to_string(server.value()->port()) +
           (runtime ? " folder=" + runtime->string() : std::string()) +
           " authority=" + identity.value().authorityFile.string());

  int signal = 0;
  sigwait(&stopSignals, &signal);
  log.line("stopping");
  if (runtime) std::filesystem::remove(*runtime / pagesAddressName, ignored);
  return 0;
}
