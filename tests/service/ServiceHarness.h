#pragma once

#include "service/SpeechServiceClient.h"
#include "support/MemorySettings.h"
#include "support/service/AwaitedCall.h"
#include "support/service/ContractServer.h"
#include "support/service/MemorySecretStore.h"

namespace wrenly {

// A client wired to a loopback contract server, in-memory settings and secrets; the speech
// service's own contract tests use it too.
class ServiceHarness : public CallHarness {
 protected:
  ~ServiceHarness() override { pool.join(); }

  SpeechServiceClient makeService(const std::string& baseURL) const {
    return SpeechServiceClient(platform, ServiceConfiguration{baseURL, server.certificateFile()});
  }
  void signIn(const std::string& token = "token-1", std::string baseURL = {}) {
    if (baseURL.empty()) baseURL = server.baseURL();
    server.addAccount(token);
    secrets.store(SpeechServiceClient::credentialService, baseURL, token);
    settings.setBool("active." + baseURL, true);
  }

  MemorySettings settings;
  MemorySecretStore secrets;
  Platform platform{.mainLoop = io.get_executor(),
                    .background = pool.get_executor(),
                    .clock = &clock,
                    .settings = &settings,
                    .secrets = &secrets};
  ContractServer server;
};

}  // namespace wrenly
