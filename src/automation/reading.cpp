#include "automation/reading.h"

#include "automation/convert.h"
#include "automation/dispatch.h"
#include "text/gbk.h"

namespace rankora::automation {

namespace {

int ScalarKind(VarType type) {
  switch (type) {
    case VT_EMPTY:
      return 0;
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DECIMAL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_HRESULT:
      return 1;
    case VT_BSTR:
    case VT_LPSTR:
    case VT_LPWSTR:
      return 2;
    case VT_BOOL:
      return 3;
    case VT_DATE:
    case VT_FILETIME:
      return 4;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return 5;
    case VT_ERROR:
      return 6;
    default:
      return -1;
  }
}

// The value itself, or one element of the array it holds.
bool Pick(const Variant& value, int index, Variant& picked) {
  const Variant& v = value.Deref();
  if (index <= 0) {
    picked = v;
    return true;
  }
  const SafeArray* array = v.IsArray() ? v.ArrayValue() : nullptr;
  if (array == nullptr || static_cast<std::size_t>(index) > array->Size()) return false;
  picked = array->Get(static_cast<std::size_t>(index) - 1);
  return true;
}

template <typename T, typename Read>
T Reading(const Variant& value, int index, VarType type, T empty, Read read) {
  Variant picked;
  if (!Pick(value, index, picked)) {
    RecordLastCall(DISP_E_BADINDEX);
    return empty;
  }
  Variant converted;
  const HRESULT code = ChangeType(picked, type, converted);
  RecordLastCall(code);
  return Failed(code) ? empty : read(converted);
}

}  // namespace

int GetKind(const Variant& value) {
  const VarType type = value.Type();
  if ((type & VT_ARRAY) == 0) return ScalarKind(type);
  const auto element = static_cast<VarType>(type & VT_TYPEMASK);
  if (element == VT_VARIANT) return 13;
  const int kind = ScalarKind(element);
  return kind <= 0 ? -1 : kind + 6;
}

int ElementCount(const Variant& value) {
  const Variant& v = value.Deref();
  if (!v.IsArray() || v.ArrayValue() == nullptr) return -1;
  return static_cast<int>(v.ArrayValue()->Size());
}

std::string GetText(const Variant& value, int index) {
  return Reading(value, index, VT_BSTR, std::string(), [](const Variant& v) { return ProgramText(v.TextValue()); });
}

double GetNumber(const Variant& value, int index) {
  return Reading(value, index, VT_R8, 0.0, [](const Variant& v) { return v.Real(); });
}

bool GetBool(const Variant& value, int index) {
  return Reading(value, index, VT_BOOL, false, [](const Variant& v) { return v.BoolValue(); });
}

double GetDate(const Variant& value, int index) {
  return Reading(value, index, VT_DATE, 0.0, [](const Variant& v) { return v.Real(); });
}

Object GetObject(const Variant& value, int index) {
  return Reading(value, index, VT_UNKNOWN, Object(), [](const Variant& v) { return v.ObjectValue(); });
}

Variant GetVariant(const Variant& value, int index) {
  Variant picked;
  if (!Pick(value, index, picked)) {
    RecordLastCall(DISP_E_BADINDEX);
    return {};
  }
  RecordLastCall(S_OK);
  return picked;
}

std::vector<std::uint8_t> GetBytes(const Variant& value, int index) {
  return Reading(value, index, static_cast<VarType>(VT_ARRAY | VT_UI1), std::vector<std::uint8_t>(),
                 [](const Variant& v) { return v.ArrayValue()->ByteData(); });
}

}  // namespace rankora::automation
