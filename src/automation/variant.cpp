#include "automation/variant.h"

#include <utility>

#include "automation/convert.h"

namespace rankora::automation {

Variant::Variant(const Variant& other)
    : type_(other.type_),
      scalar_(other.scalar_),
      text_(other.text_),
      object_(other.object_),
      array_(other.array_ ? std::make_unique<SafeArray>(*other.array_) : nullptr),
      ref_(other.ref_) {}

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) {
    Variant copy(other);
    *this = std::move(copy);
  }
  return *this;
}

Variant::Variant(Variant&& other) noexcept
    : type_(std::exchange(other.type_, VT_EMPTY)),
      scalar_(std::exchange(other.scalar_, Scalar{.i = 0})),
      text_(std::move(other.text_)),
      object_(std::move(other.object_)),
      array_(std::move(other.array_)),
      ref_(std::exchange(other.ref_, nullptr)) {
  other.text_.clear();
}

Variant& Variant::operator=(Variant&& other) noexcept {
  if (this != &other) {
    type_ = std::exchange(other.type_, VT_EMPTY);
    scalar_ = std::exchange(other.scalar_, Scalar{.i = 0});
    text_ = std::move(other.text_);
    other.text_.clear();
    object_ = std::move(other.object_);
    array_ = std::move(other.array_);
    ref_ = std::exchange(other.ref_, nullptr);
  }
  return *this;
}

Variant::~Variant() = default;

void Variant::Clear() { *this = Variant(); }

Variant Variant::Null() { return Variant(VT_NULL); }

Variant Variant::Error(HRESULT code) {
  Variant v(VT_ERROR);
  v.scalar_.e = code;
  return v;
}

Variant Variant::Missing() { return Error(DISP_E_PARAMNOTFOUND); }

Variant Variant::Bool(bool value) {
  Variant v(VT_BOOL);
  v.scalar_.i = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

#define RANKORA_SIGNED_FACTORY(Name, Kind, Type) \
  Variant Variant::Name(Type value) {            \
    Variant v(Kind);                             \
    v.scalar_.i = value;                         \
    return v;                                    \
  }
#define RANKORA_UNSIGNED_FACTORY(Name, Kind, Type) \
  Variant Variant::Name(Type value) {              \
    Variant v(Kind);                               \
    v.scalar_.u = value;                           \
    return v;                                      \
  }
RANKORA_SIGNED_FACTORY(I1, VT_I1, std::int8_t)
RANKORA_SIGNED_FACTORY(I2, VT_I2, std::int16_t)
RANKORA_SIGNED_FACTORY(I4, VT_I4, std::int32_t)
RANKORA_SIGNED_FACTORY(I8, VT_I8, std::int64_t)
RANKORA_SIGNED_FACTORY(Int, VT_INT, std::int32_t)
RANKORA_SIGNED_FACTORY(Currency, VT_CY, std::int64_t)
RANKORA_UNSIGNED_FACTORY(UI1, VT_UI1, std::uint8_t)
RANKORA_UNSIGNED_FACTORY(UI2, VT_UI2, std::uint16_t)
RANKORA_UNSIGNED_FACTORY(UI4, VT_UI4, std::uint32_t)
RANKORA_UNSIGNED_FACTORY(UI8, VT_UI8, std::uint64_t)
RANKORA_UNSIGNED_FACTORY(UInt, VT_UINT, std::uint32_t)
#undef RANKORA_SIGNED_FACTORY
#undef RANKORA_UNSIGNED_FACTORY

Variant Variant::R4(float value) {
  Variant v(VT_R4);
  v.scalar_.f = value;
  return v;
}

Variant Variant::R8(double value) {
  Variant v(VT_R8);
  v.scalar_.r = value;
  return v;
}

Variant Variant::Date(double value) {
  Variant v(VT_DATE);
  v.scalar_.r = value;
  return v;
}

Variant Variant::Text(std::u16string value) {
  Variant v(VT_BSTR);
  v.text_ = std::move(value);
  return v;
}

Variant Variant::Dispatch(Object object) {
  Variant v(VT_DISPATCH);
  v.object_ = std::move(object);
  return v;
}

Variant Variant::Unknown(Object object) {
  Variant v(VT_UNKNOWN);
  v.object_ = std::move(object);
  return v;
}

Variant Variant::Array(SafeArray array) {
  Variant v(static_cast<VarType>(VT_ARRAY | array.ElementType()));
  v.array_ = std::make_unique<SafeArray>(std::move(array));
  return v;
}

Variant Variant::ByRef(Variant& target, VarType type) {
  Variant v(static_cast<VarType>(VT_BYREF | type));
  v.ref_ = &target;
  return v;
}

const Variant& Variant::Deref() const {
  const Variant* v = this;
  while (v->IsByRef() && v->ref_ != nullptr) v = v->ref_;
  return *v;
}

Variant& Variant::Deref() {
  Variant* v = this;
  while (v->IsByRef() && v->ref_ != nullptr) v = v->ref_;
  return *v;
}

SafeArray::SafeArray(VarType elementType, std::vector<ArrayBound> bounds)
    : elementType_(elementType), bounds_(std::move(bounds)) {
  const std::size_t size = Size();
  if (elementType_ == VT_UI1) {
    bytes_.assign(size, 0);
  } else {
    Variant initial;
    // Typed arrays start with the zero value of their type, as on the platform.
    if (elementType_ != VT_VARIANT) ChangeType(Variant(), elementType_, initial);
    items_.assign(size, initial);
  }
}

SafeArray SafeArray::Bytes(std::span<const std::uint8_t> bytes, std::int32_t lowerBound) {
  SafeArray array(VT_UI1, {ArrayBound{static_cast<std::uint32_t>(bytes.size()), lowerBound}});
  array.bytes_.assign(bytes.begin(), bytes.end());
  return array;
}

SafeArray SafeArray::Variants(std::vector<Variant> items, std::int32_t lowerBound) {
  SafeArray array(VT_VARIANT, {});
  array.bounds_ = {ArrayBound{static_cast<std::uint32_t>(items.size()), lowerBound}};
  array.items_ = std::move(items);
  return array;
}

std::size_t SafeArray::Size() const {
  if (bounds_.empty()) return 0;
  std::size_t size = 1;
  for (const ArrayBound& bound : bounds_) size *= bound.count;
  return size;
}

Variant SafeArray::Get(std::size_t position) const {
  if (elementType_ == VT_UI1) return position < bytes_.size() ? Variant::UI1(bytes_[position]) : Variant();
  return position < items_.size() ? items_[position] : Variant();
}

HRESULT SafeArray::Put(std::size_t position, const Variant& value) {
  if (position >= Size()) return DISP_E_BADINDEX;
  if (elementType_ == VT_VARIANT) {
    items_[position] = value.Deref();
    return S_OK;
  }
  Variant converted;
  const HRESULT code = ChangeType(value, elementType_, converted);
  if (Failed(code)) return code;
  if (elementType_ == VT_UI1) {
    bytes_[position] = static_cast<std::uint8_t>(converted.Unsigned());
  } else {
    items_[position] = std::move(converted);
  }
  return S_OK;
}

bool SafeArray::PositionOf(std::span<const std::int32_t> indexes, std::size_t& position) const {
  if (indexes.size() != bounds_.size()) return false;
  std::size_t result = 0;
  std::size_t stride = 1;
  for (std::size_t d = 0; d < bounds_.size(); ++d) {
    const std::int64_t offset = static_cast<std::int64_t>(indexes[d]) - bounds_[d].lowerBound;
    if (offset < 0 || offset >= bounds_[d].count) return false;
    result += static_cast<std::size_t>(offset) * stride;
    stride *= bounds_[d].count;
  }
  position = result;
  return true;
}

}  // namespace rankora::automation
