#include "automation/assign.h"

#include "text/gbk.h"

namespace rankora::automation {
namespace {

std::int32_t Low32(std::int64_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value & 0xFFFFFFFF));
}

// The scalar kinds, as a variant of their stored type.
struct Scalar {
  bool operator()(const std::string& text, Variant& out) const {
    out = Variant::Text(text::ToUtf16(text));
    return true;
  }
  bool operator()(std::uint8_t value, Variant& out) const {
    out = Variant::UI1(value);
    return true;
  }
  bool operator()(std::int16_t value, Variant& out) const {
    out = Variant::I2(value);
    return true;
  }
  bool operator()(std::int32_t value, Variant& out) const {
    out = Variant::I4(value);
    return true;
  }
  bool operator()(std::int64_t value, Variant& out) const {
    out = Variant::I4(Low32(value));
    return true;
  }
  bool operator()(float value, Variant& out) const {
    out = Variant::R4(value);
    return true;
  }
  bool operator()(double value, Variant& out) const {
    out = Variant::R8(value);
    return true;
  }
  bool operator()(bool value, Variant& out) const {
    out = Variant::Bool(value);
    return true;
  }
  bool operator()(DateTime value, Variant& out) const {
    out = Variant::Date(value.value);
    return true;
  }
  bool operator()(const Object& object, Variant& out) const {
    if (object.IsEmpty()) return false;
    out = Variant::Unknown(object);
    return true;
  }
  bool operator()(const Variant& value, Variant& out) const {
    out = value.Deref();
    return true;
  }
};

template <typename T>
VarType ElementTypeOf() {
  if constexpr (std::is_same_v<T, std::string>) return VT_BSTR;
  if constexpr (std::is_same_v<T, std::uint8_t>) return VT_UI1;
  if constexpr (std::is_same_v<T, std::int16_t>) return VT_I2;
  if constexpr (std::is_same_v<T, std::int32_t> || std::is_same_v<T, std::int64_t>) return VT_I4;
  if constexpr (std::is_same_v<T, float>) return VT_R4;
  if constexpr (std::is_same_v<T, double>) return VT_R8;
  if constexpr (std::is_same_v<T, bool>) return VT_BOOL;
  if constexpr (std::is_same_v<T, DateTime>) return VT_DATE;
  if constexpr (std::is_same_v<T, Object>) return VT_UNKNOWN;
  return VT_VARIANT;
}

template <typename T>
Variant ArrayOf(const std::vector<T>& items) {
  SafeArray array(ElementTypeOf<T>(), {ArrayBound{static_cast<std::uint32_t>(items.size()), 1}});
  for (std::size_t i = 0; i < items.size(); ++i) {
    Variant element;
    if constexpr (std::is_same_v<T, Object>) {
      // An empty object stays an empty element.
      element = Variant::Unknown(items[i]);
    } else {
      Scalar{}(static_cast<T>(items[i]), element);
    }
    array.Put(i, element);
  }
  return Variant::Array(std::move(array));
}

bool ToVariant(const PlainValue& value, Variant& out) {
  return std::visit(
      [&out](const auto& v) -> bool {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::vector<std::uint8_t>>) {
          out = Variant::Array(SafeArray::Bytes(v, 1));
          return true;
        } else if constexpr (std::is_same_v<T, PlainArray>) {
          out = std::visit([](const auto& items) { return ArrayOf(items); }, v);
          return true;
        } else {
          return Scalar{}(v, out);
        }
      },
      value);
}

}  // namespace

bool Assign(Variant& target, const PlainValue& value, int index) {
  if (index <= 0) {
    target.Clear();
    Variant made;
    if (!ToVariant(value, made)) return false;
    target = std::move(made);
    return true;
  }
  Variant& held = target.Deref();
  SafeArray* array = held.IsArray() ? held.ArrayValue() : nullptr;
  if (array == nullptr || static_cast<std::size_t>(index) > array->Size()) return false;
  Variant made;
  if (!ToVariant(value, made)) return false;
  return Succeeded(array->Put(static_cast<std::size_t>(index) - 1, made));
}

}  // namespace rankora::automation
