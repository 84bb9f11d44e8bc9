// Object values: reference-counted handles on an automation component.
#pragma once

#include <cstdint>

namespace rankora::automation {

class Component;

// Holds one reference to a component, or none. Copying adds a reference,
// clearing or destroying releases it; the component goes with its last
// reference.
class Object {
 public:
  Object() = default;
  // Takes a new reference to `component` (null gives an empty value).
  explicit Object(Component* component);
  Object(const Object& other);
  Object& operator=(const Object& other);
  Object(Object&& other) noexcept;
  Object& operator=(Object&& other) noexcept;
  ~Object();

  bool IsEmpty() const { return component_ == nullptr; }
  Component* Get() const { return component_; }
  Component* operator->() const { return component_; }
  void Clear();

  friend bool operator==(const Object& a, const Object& b) { return a.component_ == b.component_; }

 private:
  Component* component_ = nullptr;
};

}  // namespace rankora::automation
