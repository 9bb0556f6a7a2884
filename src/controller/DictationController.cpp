#include "controller/DictationController.h"

namespace wrenly {

std::shared_ptr<DictationController> DictationController::make(Dependencies dependencies) {
  std::shared_ptr<DictationController> controller(new DictationController(std::move(dependencies)));
  controller->context_.owner = controller;
  return controller;
}

DictationController::DictationController(Dependencies dependencies)
    : context_(std::move(dependencies)) {}

}  // namespace wrenly
