#include "service/TransportError.h"

#include <curl/curl.h>

#include "messages/ServiceMessages.h"

namespace wrenly {

bool TransportError::isTlsFailure() const {
  switch (code_) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
      return true;
    default:
      return false;
  }
}

std::string TransportError::localizedDescription() const {
  switch (code_) {
    case couldNotResolveProxy:
    case couldNotResolveHost:
      return "無法連線到語音服務，請檢查網絡連線後再試。";
    case couldNotConnect:
      if (place_ == ServicePlace::thisMachine) return ServiceMessages::localServiceNotRunning;
      return "無法連線到語音服務，請檢查網絡連線後再試。";
    case timedOut:
      return "連線逾時，請稍後重試。";
    case cancelled:
      return "連線已取消。";
    default:
      break;
  }
  if (isTlsFailure()) return "無法與語音服務建立安全連線。";
  return "網絡連線發生錯誤，請稍後重試。";
}

}  // namespace wrenly
