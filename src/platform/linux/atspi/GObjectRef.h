#pragma once

#include <glib-object.h>

#include <utility>

namespace wrenly {

// One counted reference to a GObject, released with the wrapper. Only touched on the thread
// the object belongs to.
template <typename T>
class GObjectRef {
 public:
  GObjectRef() = default;
  // Takes over a reference the caller owns.
  static GObjectRef adopt(T* object) { return GObjectRef(object); }
  // Adds a reference of its own.
  static GObjectRef retain(T* object) {
    if (object) g_object_ref(object);
    return GObjectRef(object);
  }
  GObjectRef(GObjectRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  GObjectRef& operator=(GObjectRef&& other) noexcept {
    if (this != &other) {
      reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  GObjectRef(const GObjectRef& other) : object_(other.object_) {
    if (object_) g_object_ref(object_);
  }
  GObjectRef& operator=(const GObjectRef& other) { return *this = GObjectRef(other); }
  ~GObjectRef() { reset(); }

  void reset() {
    if (auto* object = std::exchange(object_, nullptr)) g_object_unref(object);
  }
  // Hands the reference to the caller.
  T* release() { return std::exchange(object_, nullptr); }
  T* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  explicit GObjectRef(T* object) : object_(object) {}
  T* object_ = nullptr;
};

}  // namespace wrenly
