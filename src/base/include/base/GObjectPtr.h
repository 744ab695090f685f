#pragma once

#include <glib-object.h>

#include <utility>

namespace mlfk {

// Owns one reference to a GObject. Adopting takes over a new reference;
// retaining adds one.
template <typename T>
class GObjectPtr {
 public:
  GObjectPtr() = default;
  static GObjectPtr adopt(T* object) { return GObjectPtr(object); }
  static GObjectPtr retain(T* object) {
    if (object) g_object_ref(object);
    return GObjectPtr(object);
  }
  ~GObjectPtr() { reset(); }
  GObjectPtr(GObjectPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  GObjectPtr& operator=(GObjectPtr&& other) noexcept {
    if (this != &other) {
      reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  GObjectPtr(const GObjectPtr&) = delete;
  GObjectPtr& operator=(const GObjectPtr&) = delete;

  T* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  void reset() {
    if (object_) g_object_unref(std::exchange(object_, nullptr));
  }

 private:
  explicit GObjectPtr(T* object) : object_(object) {}
  T* object_ = nullptr;
};

// Points at a GObject without owning it, and reads null once the object is
// finalized. It lets go of the object when it goes itself: a weak pointer
// left behind would be written to after its holder was freed.
template <typename T>
class GWeakPtr {
 public:
  GWeakPtr() = default;
  ~GWeakPtr() { reset(nullptr); }
  GWeakPtr(const GWeakPtr&) = delete;
  GWeakPtr& operator=(const GWeakPtr&) = delete;

  T* get() const { return object_; }
  void reset(T* object) {
    if (object_) g_object_remove_weak_pointer(G_OBJECT(object_), location());
    object_ = object;
    if (object_) g_object_add_weak_pointer(G_OBJECT(object_), location());
  }

 private:
  gpointer* location() { return reinterpret_cast<gpointer*>(&object_); }
  T* object_ = nullptr;
};

}  // namespace mlfk
