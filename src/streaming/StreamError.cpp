#include "streaming/StreamError.h"

namespace wrenly {

std::string StreamError::localizedDescription() const {
  switch (value()) {
    case Kind::invalidResponse:
      return "即時語音服務回應異常。";
    case Kind::startTimeout:
      return "即時語音服務未能及時連線。";
    case Kind::finalTimeout:
      return "即時語音服務未能及時回覆。";
    case Kind::backpressure:
      return "網絡太慢，即時語音未能及時傳送。";
  }
  return "即時語音服務回應異常。";
}

}  // namespace wrenly
