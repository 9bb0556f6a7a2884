#include "support/desktop/FakeKeyInjector.h"

std::ostream& operator<<(std::ostream& out, const InjectedKey& key) {
  return out << (key.kind == InjectedKey::Kind::pasteDown ? "pasteDown" : "pasteUp") << " pid "
             << key.processID << " at " << key.uptime;
}

bool FakeKeyInjector::pasteKeyDown(int32_t processID) {
  if (refuses_) return false;
  keys_.push_back({InjectedKey::Kind::pasteDown, processID, clock_.uptime()});
  ++held_;
  lastProcessID_ = processID;
  if (onPaste_) onPaste_(processID);
  return true;
}

void FakeKeyInjector::pasteKeyUp() {
  keys_.push_back({InjectedKey::Kind::pasteUp, lastProcessID_, clock_.uptime()});
  if (held_ > 0) --held_;
}
