#include "support/desktop/FakeApplication.h"

#include "support/desktop/FakeDesktop.h"

FakeApplication::FakeApplication(FakeDesktop& desktop, int32_t processID,
                                 std::optional<std::string> applicationID)
    : desktop_(desktop), processID_(processID), applicationID_(std::move(applicationID)) {}

FakeApplication& FakeApplication::setApplicationID(std::optional<std::string> applicationID) {
  applicationID_ = std::move(applicationID);
  return *this;
}

std::shared_ptr<FakeElement> FakeApplication::makeElement(std::string role, bool editable) {
  auto element = std::make_shared<FakeElement>(processID_, std::move(role), editable, answers_);
  element->self_ = element;
  elements_.push_back(element);
  return element;
}

std::shared_ptr<FakeElement> FakeApplication::addField(std::string role) {
  return makeElement(std::move(role), true);
}

std::shared_ptr<FakeElement> FakeApplication::addElement(std::string role) {
  return makeElement(std::move(role), false);
}

FakeApplication& FakeApplication::focus(std::shared_ptr<FakeElement> element) {
  focused_ = std::move(element);
  return *this;
}

uint32_t FakeApplication::openWindow(WindowKind kind) {
  return desktop_.openWindow(*this, kind);
}

void FakeApplication::closeWindow(uint32_t windowID) {
  desktop_.closeWindow(windowID);
}

FakeApplication& FakeApplication::stopAnswering() {
  *answers_ = false;
  return *this;
}

FakeApplication& FakeApplication::answerAgain() {
  *answers_ = true;
  return *this;
}

FakeApplication& FakeApplication::refuseActivation(bool refuse) {
  refusesActivation_ = refuse;
  return *this;
}

FakeApplication& FakeApplication::comeForwardAfter(std::optional<Clock::Duration> delay) {
  activationDelay_ = delay;
  return *this;
}

FakeApplication& FakeApplication::setPrepareResult(int code) {
  prepareResult_ = code;
  return *this;
}

void FakeApplication::quit() {
  desktop_.quit(*this);
}
