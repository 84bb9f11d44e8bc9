// A test component that declares every parameter shape the by-name layer
// handles and records each call it receives.
#pragma once

#include <string>
#include <vector>

#include "automation/component.h"

namespace rankora::testing {

inline constexpr char kProbeProgId[] = "Rankora.Probe";
inline constexpr char kProbeClsid[] = "{6B1F6E5A-1C2D-4E3F-9A8B-7C6D5E4F3A2B}";
inline constexpr char kOpaqueProgId[] = "Rankora.Opaque";  // no type information

class Probe final : public automation::Component {
 public:
  enum Member : automation::DispId {
    kValue = 0,     // property get/put, the default member (a number)
    kEcho = 1,      // method (any) -> the argument
    kTyped = 2,     // method (I4, R8, BSTR, BOOL)
    kOptional = 3,  // method (a, [b], [c])
    kByRef = 4,     // method (byref I4): adds one to it
    kVarArgs = 5,   // method (a, ...)
    kName = 6,      // variable, text
    kChild = 7,     // variable, object
    kValues = 8,    // variable, array of variants
    kBoth = 9,      // method and property get under one name
    kSink = 10,     // property put only
    kFail = 11,     // method that raises an error
    kThrow = 12,    // method that throws a C++ exception
    kPacked = 13,   // method (BSTR, byref array of variants): the array's size
  };

  struct Call {
    automation::DispId id;
    automation::InvokeKind kind;
    std::vector<automation::VarType> types;   // as received, references included
    std::vector<automation::Variant> values;  // dereferenced
  };

  Probe() { ++alive; }
  ~Probe() override { --alive; }

  const automation::TypeInfo* GetTypeInfo() const override;
  automation::HRESULT Invoke(automation::DispId id, automation::InvokeKind kind, automation::CallArgs& args,
                             automation::Variant& result, automation::ExcepInfo& excep) override;

  std::vector<Call> calls;
  double value = 0;
  automation::Variant name;
  automation::Variant child;
  automation::Variant values;

  static inline int alive = 0;
};

// The probe behind an object value made by name.
Probe& ProbeOf(const automation::Object& object);

}  // namespace rankora::testing
