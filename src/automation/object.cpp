#include "automation/object.h"

#include <utility>

#include "automation/component.h"

namespace rankora::automation {

Object::Object(Component* component) : component_(component) {
  if (component_ != nullptr) component_->AddRef();
}

Object::Object(const Object& other) : Object(other.component_) {}

Object& Object::operator=(const Object& other) {
  if (this != &other) {
    Object copy(other);
    std::swap(component_, copy.component_);
  }
  return *this;
}

Object::Object(Object&& other) noexcept : component_(std::exchange(other.component_, nullptr)) {}

Object& Object::operator=(Object&& other) noexcept {
  if (this != &other) {
    Clear();
    component_ = std::exchange(other.component_, nullptr);
  }
  return *this;
}

Object::~Object() { Clear(); }

void Object::Clear() {
  if (Component* component = std::exchange(component_, nullptr)) component->Release();
}

}  // namespace rankora::automation
