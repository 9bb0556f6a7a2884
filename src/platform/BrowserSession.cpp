#include "platform/BrowserSession.h"

namespace wrenly {

std::string BrowserSessionError::localizedDescription() const {
  switch (value()) {
    case BrowserSessionFailure::startRefused:
      return "未能開啟瀏覽器登入頁面。";
    case BrowserSessionFailure::cancelled:
      return "登入已取消。";
  }
  return "登入已取消。";
}

}  // namespace wrenly
