#include "script/script_engine.h"

#include <algorithm>
#include <cmath>

#include "automation/apartment.h"
#include "automation/dispatch.h"

namespace rankora::script {

using namespace automation;

namespace {

constexpr char kDefaultProgId[] = "ScriptControl";
constexpr char kDefaultLanguage[] = "JavaScript";

std::int32_t Truncated(double value) {
  // Integers read from properties arrive as doubles, cut toward zero.
  if (!std::isfinite(value)) return 0;
  return static_cast<std::int32_t>(std::clamp(std::trunc(value), -2147483648.0, 2147483647.0));
}

}  // namespace

ArgumentList ArgumentList::Of(std::vector<Variant> elements) {
  ArgumentList list;
  list.dimensions = {elements.size()};
  list.elements = std::move(elements);
  return list;
}

std::size_t ArgumentList::Count() const {
  if (dimensions.empty()) return 0;
  std::size_t count = 1;
  for (const std::size_t length : dimensions) count *= length;
  return std::min(count, elements.size());
}

ScriptEngine::ScriptEngine() { Create(); }

ScriptEngine::ScriptEngine(const ScriptEngine& other) : control_(other.control_) {
  // The copy is destroyed on its own, uninitialising once; it initialises
  // once too, so that the thread's count stays balanced.
  CoInitialize();
}

ScriptEngine& ScriptEngine::operator=(const ScriptEngine& other) {
  control_ = other.control_;
  return *this;
}

ScriptEngine::~ScriptEngine() {
  CoUninitialize();
  control_.Clear();
}

Object ScriptEngine::GetControl() const { return control_; }

bool ScriptEngine::Create(const std::optional<std::string>& progId) {
  CoInitialize();
  return automation::Create(control_, progId.value_or(kDefaultProgId));
}

bool ScriptEngine::SetLanguage(const std::optional<std::string>& language) {
  return WriteProperty(control_, "Language", {language.value_or(kDefaultLanguage)});
}

std::string ScriptEngine::GetLanguage() const { return ReadTextProperty(control_, "Language"); }

bool ScriptEngine::SetState(std::int32_t state) { return WriteProperty(control_, "State", {state}); }

std::int32_t ScriptEngine::GetState() const { return Truncated(ReadNumberProperty(control_, "State")); }

bool ScriptEngine::SetSitehWnd(std::int32_t window) { return WriteProperty(control_, "SitehWnd", {window}); }

std::int32_t ScriptEngine::GetSitehWnd() const { return Truncated(ReadNumberProperty(control_, "SitehWnd")); }

bool ScriptEngine::SetTimeout(std::int32_t timeout) { return WriteProperty(control_, "Timeout", {timeout}); }

std::int32_t ScriptEngine::GetTimeout() const { return Truncated(ReadNumberProperty(control_, "Timeout")); }

bool ScriptEngine::SetAllowUI(bool allow) { return WriteProperty(control_, "AllowUI", {allow}); }

bool ScriptEngine::GetAllowUI() const { return ReadBoolProperty(control_, "AllowUI"); }

bool ScriptEngine::SetUseSafeSubset(bool safeSubset) { return WriteProperty(control_, "UseSafeSubset", {safeSubset}); }

bool ScriptEngine::GetUseSafeSubset() const { return ReadBoolProperty(control_, "UseSafeSubset"); }

Object ScriptEngine::GetModules() const { return ReadObjectProperty(control_, "Modules"); }

Object ScriptEngine::GetError() const { return ReadObjectProperty(control_, "Error"); }

Object ScriptEngine::GetCodeObject() const { return ReadObjectProperty(control_, "CodeObject"); }

Object ScriptEngine::GetProcedures() const { return ReadObjectProperty(control_, "Procedures"); }

std::int32_t ScriptEngine::AddObject(const std::string& name, const Object& object, std::optional<bool> addMembers) {
  return Truncated(CallNumberMethod(control_, "AddObject", {name, object, addMembers.value_or(false)}));
}

std::int32_t ScriptEngine::Reset() { return Truncated(CallNumberMethod(control_, "Reset")); }

std::int32_t ScriptEngine::AddCode(const std::string& code) {
  return Truncated(CallNumberMethod(control_, "AddCode", {code}));
}

Variant ScriptEngine::Eval(const std::string& expression) { return CallVariantMethod(control_, "Eval", {expression}); }

std::int32_t ScriptEngine::ExecuteStatement(const std::string& statement) {
  return Truncated(CallNumberMethod(control_, "ExecuteStatement", {statement}));
}

Variant ScriptEngine::Run(const std::string& procedure, const ArgumentList* arguments) {
  const std::size_t count = arguments != nullptr ? std::min(arguments->Count(), kMostRunArguments) : 0;
  std::vector<Arg> args;
  args.reserve(count + 1);
  args.emplace_back(procedure);
  for (std::size_t i = 0; i < count; ++i) args.push_back(Arg::Ref(arguments->elements[i]));
  return CallVariantMethod(control_, "Run", std::span<const Arg>(args));
}

}  // namespace rankora::script
