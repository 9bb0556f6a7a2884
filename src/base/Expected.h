#pragma once

#include <cassert>
#include <type_traits>
#include <utility>
#include <variant>

namespace wrenly {

// A value or the error that kept it from being made: what every factory of the program and of
// the local service returns instead of a half-built object. A small stand-in for C++23's
// std::expected, with the part of its interface the code uses.
template <typename E>
struct Unexpected {
  E error;
};

template <typename E>
Unexpected<E> unexpected(E error) {
  return Unexpected<E>{std::move(error)};
}

template <typename T, typename E>
class Expected {
 public:
  Expected(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT
  Expected(Unexpected<E> error)                                            // NOLINT
      : state_(std::in_place_index<1>, std::move(error.error)) {}
  // An error type distinct from the value type converts directly, as factories return either.
  template <typename U = E>
  requires(!std::is_same_v<U, T>) Expected(E error)
      : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT

  bool has_value() const { return state_.index() == 0; }
  explicit operator bool() const { return has_value(); }

  T& value() & {
    assert(has_value());
    return std::get<0>(state_);
  }
  T&& value() && {
    assert(has_value());
    return std::get<0>(std::move(state_));
  }
  const T& value() const& {
    assert(has_value());
    return std::get<0>(state_);
  }
  T* operator->() { return &value(); }
  T& operator*() & { return value(); }

  const E& error() const {
    assert(!has_value());
    return std::get<1>(state_);
  }

 private:
  std::variant<T, E> state_;
};

}  // namespace wrenly
