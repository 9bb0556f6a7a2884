#pragma once

#include <string>
#include <utility>
#include <variant>

namespace wrenly::speech {

// Why the service could not set one of its parts up; the message is the platform's own.
enum class StartupFailure {
  dataFolder,
  certificates,
  accountStore,
  recogniser,
  textConversion,
  listener
};

struct StartupError {
  StartupFailure failure;
  std::string message;
};

// A value or the reason it could not be made: what the service's factories return.
template <typename T>
class Fallible {
 public:
  Fallible(T value) : state_(std::move(value)) {}             // NOLINT(google-explicit-constructor)
  Fallible(StartupError error) : state_(std::move(error)) {}  // NOLINT

  explicit operator bool() const { return state_.index() == 0; }
  T& value() { return std::get<0>(state_); }
  const StartupError& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, StartupError> state_;
};

}  // namespace wrenly::speech
