#include "triggerkey/HoldGesture.h"

#include <utility>

namespace wrenly {

HoldAction HoldGesture::on(TriggerPress press) {
  if (press == TriggerPress::began) {
    // A press whose release went unseen (the keys were installed afresh) starts over.
    heldSince_ = clock_.now();
    return HoldAction::start;
  }
  const auto since = std::exchange(heldSince_, std::nullopt);
  if (!since) return HoldAction::none;
  if (press == TriggerPress::combined) return HoldAction::cancel;
  return clock_.now() - *since < shortest ? HoldAction::cancel : HoldAction::finish;
}

}  // namespace wrenly
