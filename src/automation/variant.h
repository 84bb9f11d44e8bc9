// Variant values: exactly the kinds a platform VARIANT holds, with its type
// numbers, so that stored texts and the components' conversions behave as on
// the platform.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "automation/hresult.h"
#include "automation/object.h"

namespace rankora::automation {

using VarType = std::uint16_t;

inline constexpr VarType VT_EMPTY = 0;
inline constexpr VarType VT_NULL = 1;
inline constexpr VarType VT_I2 = 2;
inline constexpr VarType VT_I4 = 3;
inline constexpr VarType VT_R4 = 4;
inline constexpr VarType VT_R8 = 5;
inline constexpr VarType VT_CY = 6;
inline constexpr VarType VT_DATE = 7;
inline constexpr VarType VT_BSTR = 8;
inline constexpr VarType VT_DISPATCH = 9;
inline constexpr VarType VT_ERROR = 10;
inline constexpr VarType VT_BOOL = 11;
inline constexpr VarType VT_VARIANT = 12;
inline constexpr VarType VT_UNKNOWN = 13;
inline constexpr VarType VT_DECIMAL = 14;
inline constexpr VarType VT_I1 = 16;
inline constexpr VarType VT_UI1 = 17;
inline constexpr VarType VT_UI2 = 18;
inline constexpr VarType VT_UI4 = 19;
inline constexpr VarType VT_I8 = 20;
inline constexpr VarType VT_UI8 = 21;
inline constexpr VarType VT_INT = 22;
inline constexpr VarType VT_UINT = 23;
inline constexpr VarType VT_HRESULT = 25;
inline constexpr VarType VT_LPSTR = 30;
inline constexpr VarType VT_LPWSTR = 31;
inline constexpr VarType VT_FILETIME = 64;
inline constexpr VarType VT_ARRAY = 0x2000;
inline constexpr VarType VT_BYREF = 0x4000;
inline constexpr VarType VT_TYPEMASK = 0x0FFF;

inline constexpr std::int16_t VARIANT_TRUE = -1;
inline constexpr std::int16_t VARIANT_FALSE = 0;

class SafeArray;

// One VARIANT. Copying deep-copies arrays and adds a reference to objects; a
// by-reference value refers to another Variant that its creator keeps alive,
// and copying it copies the reference.
class Variant {
 public:
  Variant() = default;
  Variant(const Variant& other);
  Variant& operator=(const Variant& other);
  Variant(Variant&& other) noexcept;
  Variant& operator=(Variant&& other) noexcept;
  ~Variant();

  static Variant Null();
  static Variant Error(HRESULT code);
  static Variant Bool(bool value);
  static Variant I1(std::int8_t value);
  static Variant UI1(std::uint8_t value);
  static Variant I2(std::int16_t value);
  static Variant UI2(std::uint16_t value);
  static Variant I4(std::int32_t value);
  static Variant UI4(std::uint32_t value);
  static Variant I8(std::int64_t value);
  static Variant UI8(std::uint64_t value);
  static Variant Int(std::int32_t value);
  static Variant UInt(std::uint32_t value);
  static Variant R4(float value);
  static Variant R8(double value);
  // Currency: a 64-bit integer scaled by 10,000.
  static Variant Currency(std::int64_t scaled);
  // Days since 30 December 1899, the time of day as the fraction.
  static Variant Date(double value);
  static Variant Text(std::u16string value);
  static Variant Dispatch(Object object);
  static Variant Unknown(Object object);
  static Variant Array(SafeArray array);
  // A reference to `target`, typed VT_BYREF | `type` (VT_VARIANT refers to a
  // whole Variant; any other type to a Variant of that type).
  static Variant ByRef(Variant& target, VarType type = VT_VARIANT);
  // The argument that was not given: VT_ERROR with DISP_E_PARAMNOTFOUND.
  static Variant Missing();

  VarType Type() const { return type_; }
  bool IsEmpty() const { return type_ == VT_EMPTY; }
  bool IsArray() const { return (type_ & VT_ARRAY) != 0; }
  bool IsByRef() const { return (type_ & VT_BYREF) != 0; }
  bool IsMissing() const { return type_ == VT_ERROR && scalar_.e == DISP_E_PARAMNOTFOUND; }

  // The value behind any chain of references.
  const Variant& Deref() const;
  Variant& Deref();

  // Raw readings of the stored value; the caller checks Type() first.
  std::int64_t Signed() const { return scalar_.i; }
  std::uint64_t Unsigned() const { return scalar_.u; }
  double Real() const { return scalar_.r; }
  float Single() const { return scalar_.f; }
  bool BoolValue() const { return scalar_.i != 0; }
  HRESULT ErrorCode() const { return scalar_.e; }
  const std::u16string& TextValue() const { return text_; }
  const Object& ObjectValue() const { return object_; }
  const SafeArray* ArrayValue() const { return array_.get(); }
  SafeArray* ArrayValue() { return array_.get(); }

  // Empties the value, releasing what it holds.
  void Clear();

 private:
  explicit Variant(VarType type) : type_(type) {}

  union Scalar {
    std::int64_t i;   // signed integers, booleans (-1 or 0), currency
    std::uint64_t u;  // unsigned integers
    double r;         // doubles and dates
    float f;
    HRESULT e;
  };

  VarType type_ = VT_EMPTY;
  Scalar scalar_{.i = 0};
  std::u16string text_;
  Object object_;
  std::unique_ptr<SafeArray> array_;
  Variant* ref_ = nullptr;
};

// One bound of an array dimension.
struct ArrayBound {
  std::uint32_t count = 0;
  std::int32_t lowerBound = 0;
};

// An array of any element type with any number of dimensions. Elements are
// kept in storage order, the first dimension varying fastest.
class SafeArray {
 public:
  SafeArray(VarType elementType, std::vector<ArrayBound> bounds);
  // A one-dimensional byte array.
  static SafeArray Bytes(std::span<const std::uint8_t> bytes, std::int32_t lowerBound = 0);
  // A one-dimensional array of variants.
  static SafeArray Variants(std::vector<Variant> items, std::int32_t lowerBound = 0);

  VarType ElementType() const { return elementType_; }
  const std::vector<ArrayBound>& Bounds() const { return bounds_; }
  std::size_t Dimensions() const { return bounds_.size(); }
  // The number of elements over all dimensions.
  std::size_t Size() const;

  // The element at a position in storage order, as a variant of the element
  // type (VT_VARIANT arrays give the element itself).
  Variant Get(std::size_t position) const;
  // Stores `value` converted to the element type.
  HRESULT Put(std::size_t position, const Variant& value);
  // The storage position of one element by its indexes, first dimension first;
  // false when an index is out of its bounds.
  bool PositionOf(std::span<const std::int32_t> indexes, std::size_t& position) const;

  // The bytes of a VT_UI1 array (empty for other arrays).
  const std::vector<std::uint8_t>& ByteData() const { return bytes_; }

 private:
  VarType elementType_;
  std::vector<ArrayBound> bounds_;
  std::vector<std::uint8_t> bytes_;  // VT_UI1 arrays
  std::vector<Variant> items_;       // every other element type
};

}  // namespace rankora::automation
