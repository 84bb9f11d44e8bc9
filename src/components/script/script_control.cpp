#include "components/script/script_control.h"

#include <memory>

#include "automation/component.h"
#include "automation/convert.h"
#include "automation/registry.h"
#include "components/script/script_errors.h"
#include "components/script/script_heap.h"
#include "text/ascii.h"

namespace rankora::components {
namespace {

using namespace automation;
using script::JScriptNumber;
using script::ProcedureInfo;
using script::ScriptError;
using script::ScriptHeap;

// The control's error numbers.
constexpr HRESULT kInvalidValue = MakeCode(0x800A017C);  // invalid property value
constexpr HRESULT kNoLanguage = MakeCode(0x800A0005);    // nothing to run before a language is set
constexpr HRESULT kNameInUse = MakeCode(0x800A0457);
constexpr HRESULT kOutOfRange = MakeCode(0x800A0009);
constexpr char16_t kControlSource[] = u"ScriptControl";

const ParamDesc kAny{};
const ParamDesc kText{VT_BSTR, false, false};
const ParamDesc kNumber{VT_I4, false, false};
const ParamDesc kFlag{VT_BOOL, false, false};

// A collection's Item takes a 1-based number or a name.
bool IsIndex(const Variant& index, std::size_t position, std::u16string_view name) {
  if (index.Type() == VT_BSTR) return text::EqualsIgnoreAsciiCase(index.TextValue(), name);
  Variant number;
  return Succeeded(ChangeType(index, VT_I4, number)) && number.Signed() == static_cast<std::int64_t>(position);
}

// The Error object: the last script error; the control hands out the same
// one every time. Its Number is a JScript error's own number (1004 for the
// error 0x800A03EC), any other error's code as it stands.
class ErrorObject final : public Component {
 public:
  enum Member : DispId { kNumber = 1, kSource, kDescription, kHelpFile, kHelpContext, kText, kLine, kColumn, kClear };

  const TypeInfo* GetTypeInfo() const override {
    static const TypeInfo info({
        {"Number", kNumber, false, InvokeKind::PropertyGet, VT_I4, {}, false},
        {"Source", kSource, false, InvokeKind::PropertyGet, VT_BSTR, {}, false},
        {"Description", kDescription, false, InvokeKind::PropertyGet, VT_BSTR, {}, false},
        {"HelpFile", kHelpFile, false, InvokeKind::PropertyGet, VT_BSTR, {}, false},
        {"HelpContext", kHelpContext, false, InvokeKind::PropertyGet, VT_I4, {}, false},
        {"Text", kText, false, InvokeKind::PropertyGet, VT_BSTR, {}, false},
        {"Line", kLine, false, InvokeKind::PropertyGet, VT_I4, {}, false},
        {"Column", kColumn, false, InvokeKind::PropertyGet, VT_I4, {}, false},
        {"Clear", kClear, false, InvokeKind::Method, VT_EMPTY, {}, false},
    });
    return &info;
  }

  HRESULT Invoke(DispId id, InvokeKind, CallArgs&, Variant& result, ExcepInfo&) override {
    switch (id) {
      case kNumber: {
        const int number = JScriptNumber(error_.number);
        result = Variant::I4(number >= 0 ? number : error_.number);
        return S_OK;
      }
      case kSource:
        result = Variant::Text(error_.source);
        return S_OK;
      case kDescription:
        result = Variant::Text(error_.description);
        return S_OK;
      case kHelpFile:
        result = Variant::Text(u"");
        return S_OK;
      case kHelpContext:
        result = Variant::I4(0);
        return S_OK;
      case kText:
        result = Variant::Text(error_.text);
        return S_OK;
      case kLine:
        result = Variant::I4(error_.line);
        return S_OK;
      case kColumn:
        result = Variant::I4(error_.column);
        return S_OK;
      case kClear:
        error_ = ScriptError{};
        return S_OK;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

  void Set(ScriptError error) { error_ = std::move(error); }

 private:
  ScriptError error_;
};

class ProcedureObject final : public Component {
 public:
  explicit ProcedureObject(ProcedureInfo info) : info_(std::move(info)) {}

  const TypeInfo* GetTypeInfo() const override {
    static const TypeInfo info({
        {"Name", 0, false, InvokeKind::PropertyGet, VT_BSTR, {}, false},
        {"NumArgs", 1, false, InvokeKind::PropertyGet, VT_I4, {}, false},
        {"HasReturnValue", 2, false, InvokeKind::PropertyGet, VT_BOOL, {}, false},
    });
    return &info;
  }

  HRESULT Invoke(DispId id, InvokeKind, CallArgs&, Variant& result, ExcepInfo&) override {
    if (id == 0) {
      result = Variant::Text(info_.name);
    } else if (id == 1) {
      result = Variant::I4(info_.argumentCount);
    } else {
      // Every JScript function gives a value, undefined at least.
      result = Variant::Bool(true);
    }
    return S_OK;
  }

 private:
  ProcedureInfo info_;
};

// The procedures defined when the collection was asked for.
class ProceduresObject final : public Component {
 public:
  explicit ProceduresObject(std::vector<ProcedureInfo> procedures) : procedures_(std::move(procedures)) {}

  const TypeInfo* GetTypeInfo() const override {
    static const TypeInfo info({
        {"Item", 0, false, InvokeKind::PropertyGet, VT_DISPATCH, {kAny}, false},
        {"Count", 1, false, InvokeKind::PropertyGet, VT_I4, {}, false},
    });
    return &info;
  }

  HRESULT Invoke(DispId id, InvokeKind, CallArgs& args, Variant& result, ExcepInfo& excep) override {
    if (id == 1) {
      result = Variant::I4(static_cast<std::int32_t>(procedures_.size()));
      return S_OK;
    }
    const Variant& index = args[0];
    for (std::size_t i = 0; i < procedures_.size(); ++i) {
      if (IsIndex(index, i + 1, procedures_[i].name)) {
        result = Variant::Dispatch(MakeObject<ProcedureObject>(procedures_[i]));
        return S_OK;
      }
    }
    return Raise(excep, kOutOfRange, u"Subscript out of range", kControlSource);
  }

 private:
  std::vector<ProcedureInfo> procedures_;
};

class ScriptControl final : public Component {
 public:
  enum Member : DispId {
    kCodeObject = 1000,
    kProcedures = 1001,
    kAddCode = 2000,
    kEval = 2001,
    kExecuteStatement = 2002,
    kRun = 2003,
    kLanguage = 1500,
    kState = 1501,
    kSitehWnd = 1502,
    kTimeout = 1503,
    kAllowUI = 1504,
    kUseSafeSubset = 1505,
    kModules = 1506,
    kError = 1507,
    kAddObject = 2500,
    kReset = 2501,
  };

  ScriptControl() : error_(MakeObject<ErrorObject>()) {}

  const TypeInfo* GetTypeInfo() const override {
    static const TypeInfo info({
        {"Language", kLanguage, false, InvokeKind::PropertyGet, VT_BSTR, {}, false},
        {"Language", kLanguage, false, InvokeKind::PropertyPut, VT_EMPTY, {kText}, false},
        {"State", kState, false, InvokeKind::PropertyGet, VT_I4, {}, false},
        {"State", kState, false, InvokeKind::PropertyPut, VT_EMPTY, {kNumber}, false},
        {"SitehWnd", kSitehWnd, false, InvokeKind::PropertyGet, VT_I4, {}, false},
        {"SitehWnd", kSitehWnd, false, InvokeKind::PropertyPut, VT_EMPTY, {kNumber}, false},
        {"Timeout", kTimeout, false, InvokeKind::PropertyGet, VT_I4, {}, false},
        {"Timeout", kTimeout, false, InvokeKind::PropertyPut, VT_EMPTY, {kNumber}, false},
        {"AllowUI", kAllowUI, false, InvokeKind::PropertyGet, VT_BOOL, {}, false},
        {"AllowUI", kAllowUI, false, InvokeKind::PropertyPut, VT_EMPTY, {kFlag}, false},
        {"UseSafeSubset", kUseSafeSubset, false, InvokeKind::PropertyGet, VT_BOOL, {}, false},
        {"UseSafeSubset", kUseSafeSubset, false, InvokeKind::PropertyPut, VT_EMPTY, {kFlag}, false},
        {"Modules", kModules, false, InvokeKind::PropertyGet, VT_DISPATCH, {}, false},
        {"Error", kError, false, InvokeKind::PropertyGet, VT_DISPATCH, {}, false},
        {"CodeObject", kCodeObject, false, InvokeKind::PropertyGet, VT_DISPATCH, {}, false},
        {"Procedures", kProcedures, false, InvokeKind::PropertyGet, VT_DISPATCH, {}, false},
        {"AddObject",
         kAddObject,
         false,
         InvokeKind::Method,
         VT_EMPTY,
         {kText, ParamDesc{VT_DISPATCH, false, false}, ParamDesc{VT_BOOL, true, false}},
         false},
        {"Reset", kReset, false, InvokeKind::Method, VT_EMPTY, {}, false},
        {"AddCode", kAddCode, false, InvokeKind::Method, VT_EMPTY, {kText}, false},
        {"Eval", kEval, false, InvokeKind::Method, VT_VARIANT, {kText}, false},
        {"ExecuteStatement", kExecuteStatement, false, InvokeKind::Method, VT_EMPTY, {kText}, false},
        {"Run", kRun, false, InvokeKind::Method, VT_VARIANT, {kText}, true},
    });
    return &info;
  }

  HRESULT Invoke(DispId id, InvokeKind kind, CallArgs& args, Variant& result, ExcepInfo& excep) override {
    const bool get = kind == InvokeKind::PropertyGet;
    switch (id) {
      case kLanguage:
        if (get) {
          result = Variant::Text(language_);
          return S_OK;
        }
        return SetLanguage(args[0].TextValue(), excep);
      case kState:
        return Number(get, state_, args, result, excep, [](std::int64_t v) { return v == 0 || v == 1; });
      case kSitehWnd:
        return Number(get, sitehWnd_, args, result, excep, [](std::int64_t) { return true; });
      case kTimeout: {
        const HRESULT hr =
            Number(get, timeout_, args, result, excep, [](std::int64_t v) { return v >= script::kNoTimeout; });
        if (!get && Succeeded(hr) && heap_ != nullptr) heap_->SetTimeout(timeout_);
        return hr;
      }
      case kAllowUI:
        return Flag(get, allowUI_, args, result);
      case kUseSafeSubset:
        return Flag(get, useSafeSubset_, args, result);
      case kError:
        result = Variant::Dispatch(error_);
        return S_OK;
      case kAddObject:
        return AddObject(args, excep);
      default:
        break;
    }
    // Everything below needs a language.
    if (heap_ == nullptr) return Raise(excep, kNoLanguage, u"The language has not been set", kControlSource);
    switch (id) {
      case kModules:
        result = Variant::Dispatch(MakeModules());
        return S_OK;
      case kCodeObject:
        result = Variant::Dispatch(heap_->GlobalObject());
        return S_OK;
      case kProcedures:
        result = Variant::Dispatch(MakeObject<ProceduresObject>(heap_->Procedures()));
        return S_OK;
      case kReset:
        return Reset(excep);
      case kAddCode:
      case kExecuteStatement: {
        ScriptError error;
        return heap_->Execute(args[0].TextValue(), error) ? S_OK : ScriptFailed(std::move(error), excep);
      }
      case kEval: {
        ScriptError error;
        return heap_->Evaluate(args[0].TextValue(), result, error) ? S_OK : ScriptFailed(std::move(error), excep);
      }
      case kRun: {
        // A procedure the code does not define (names are case-sensitive)
        // is no script error: the Error object stays as it is.
        ScriptError error;
        if (heap_->Call(args[0].TextValue(), args.All().subspan(1), result, error)) return S_OK;
        if (error.unknownName) return Raise(excep, DISP_E_UNKNOWNNAME, u"", u"");
        return ScriptFailed(std::move(error), excep);
      }
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  struct Added {
    std::u16string name;
    Object object;
    bool addMembers;
  };

  template <typename Valid>
  HRESULT Number(bool get, std::int32_t& field, CallArgs& args, Variant& result, ExcepInfo& excep, Valid valid) {
    if (get) {
      result = Variant::I4(field);
      return S_OK;
    }
    const std::int64_t value = args[0].Signed();
    if (!valid(value)) return Raise(excep, kInvalidValue, u"Invalid property value", kControlSource);
    field = static_cast<std::int32_t>(value);
    return S_OK;
  }

  static HRESULT Flag(bool get, bool& field, CallArgs& args, Variant& result) {
    if (get) {
      result = Variant::Bool(field);
    } else {
      field = args[0].BoolValue();
    }
    return S_OK;
  }

  HRESULT SetLanguage(std::u16string_view language, ExcepInfo& excep) {
    if (!text::EqualsIgnoreAsciiCase(language, u"JavaScript") && !text::EqualsIgnoreAsciiCase(language, u"JScript")) {
      return Raise(excep, kInvalidValue, u"Invalid property value", kControlSource);
    }
    language_ = u"JScript";
    return heap_ != nullptr ? S_OK : StartHeap(excep);
  }

  // A fresh heap with the added objects in it.
  HRESULT StartHeap(ExcepInfo& excep) {
    heap_ = ScriptHeap::Make();
    if (heap_ == nullptr) return Raise(excep, E_OUTOFMEMORY, u"Out of memory", kControlSource);
    heap_->SetTimeout(timeout_);
    for (const Added& added : added_) {
      ScriptError error;
      if (!heap_->DefineObject(added.name, added.object, added.addMembers, error)) {
        return ScriptFailed(std::move(error), excep);
      }
    }
    return S_OK;
  }

  HRESULT Reset(ExcepInfo& excep) {
    added_.clear();
    state_ = 0;
    static_cast<ErrorObject*>(error_.Get())->Set({});
    return StartHeap(excep);
  }

  HRESULT AddObject(CallArgs& args, ExcepInfo& excep) {
    const std::u16string& name = args[0].TextValue();
    if (name.empty()) return Raise(excep, kInvalidValue, u"Invalid property value", kControlSource);
    for (const Added& added : added_) {
      if (added.name == name) return Raise(excep, kNameInUse, u"The specified name is already in use", kControlSource);
    }
    const bool addMembers = args.Given(2) && args[2].BoolValue();
    added_.push_back({name, args[1].ObjectValue(), addMembers});
    if (heap_ == nullptr) return S_OK;
    ScriptError error;
    return heap_->DefineObject(name, args[1].ObjectValue(), addMembers, error) ? S_OK
                                                                               : ScriptFailed(std::move(error), excep);
  }

  HRESULT ScriptFailed(ScriptError error, ExcepInfo& excep) {
    const HRESULT number = error.number;
    std::u16string description = error.description;
    std::u16string source = error.source;
    static_cast<ErrorObject*>(error_.Get())->Set(std::move(error));
    return Raise(excep, number, std::move(description), std::move(source));
  }

  Object MakeModules();

  std::u16string language_;
  std::shared_ptr<ScriptHeap> heap_;
  std::vector<Added> added_;
  Object error_;
  std::int32_t state_ = 0;
  std::int32_t sitehWnd_ = 0;
  std::int32_t timeout_ = script::kDefaultTimeout;
  bool allowUI_ = true;
  bool useSafeSubset_ = false;
};

// The one module, "Global": its members run on the control.
class ModuleObject final : public Component {
 public:
  explicit ModuleObject(Object control) : control_(std::move(control)) {}

  const TypeInfo* GetTypeInfo() const override {
    static const TypeInfo info({
        {"Name", 0, false, InvokeKind::PropertyGet, VT_BSTR, {}, false},
        {"CodeObject", ScriptControl::kCodeObject, false, InvokeKind::PropertyGet, VT_DISPATCH, {}, false},
        {"Procedures", ScriptControl::kProcedures, false, InvokeKind::PropertyGet, VT_DISPATCH, {}, false},
        {"AddCode", ScriptControl::kAddCode, false, InvokeKind::Method, VT_EMPTY, {kText}, false},
        {"Eval", ScriptControl::kEval, false, InvokeKind::Method, VT_VARIANT, {kText}, false},
        {"ExecuteStatement", ScriptControl::kExecuteStatement, false, InvokeKind::Method, VT_EMPTY, {kText}, false},
        {"Run", ScriptControl::kRun, false, InvokeKind::Method, VT_VARIANT, {kText}, true},
    });
    return &info;
  }

  HRESULT Invoke(DispId id, InvokeKind kind, CallArgs& args, Variant& result, ExcepInfo& excep) override {
    if (id == 0) {
      result = Variant::Text(u"Global");
      return S_OK;
    }
    return control_->Invoke(id, kind, args, result, excep);
  }

 private:
  Object control_;
};

class ModulesObject final : public Component {
 public:
  explicit ModulesObject(Object control) : control_(std::move(control)) {}

  const TypeInfo* GetTypeInfo() const override {
    static const TypeInfo info({
        {"Item", 0, false, InvokeKind::PropertyGet, VT_DISPATCH, {kAny}, false},
        {"Count", 1, false, InvokeKind::PropertyGet, VT_I4, {}, false},
    });
    return &info;
  }

  HRESULT Invoke(DispId id, InvokeKind, CallArgs& args, Variant& result, ExcepInfo& excep) override {
    if (id == 1) {
      result = Variant::I4(1);
      return S_OK;
    }
    if (!IsIndex(args[0], 1, u"Global")) return Raise(excep, kOutOfRange, u"Subscript out of range", kControlSource);
    result = Variant::Dispatch(MakeObject<ModuleObject>(control_));
    return S_OK;
  }

 private:
  Object control_;
};

Object ScriptControl::MakeModules() { return MakeObject<ModulesObject>(Object(this)); }

const ClassRegistration registration(kScriptControlClsid, {kScriptControlProgId, "MSScriptControl.ScriptControl"},
                                     [] { return MakeObject<ScriptControl>(); });

}  // namespace
}  // namespace rankora::components
