// ScriptEngine: the script control (ProgID "ScriptControl") as one typed
// operation per member. Every operation is one by-name access; a failure
// gives the empty value of its kind and shows nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "automation/object.h"
#include "automation/variant.h"

namespace rankora::script {

// The arguments of Run: elements in storage order (the first dimension
// varying fastest) and the length of each dimension.
struct ArgumentList {
  std::vector<std::size_t> dimensions;
  std::vector<automation::Variant> elements;

  // A one-dimensional list.
  static ArgumentList Of(std::vector<automation::Variant> elements);
  // The product of the dimension lengths (0 without dimensions), at most the
  // elements held.
  std::size_t Count() const;
};

// At most this many arguments reach a procedure; the rest are ignored.
inline constexpr std::size_t kMostRunArguments = 10;

// Operations stand in the order of the control's member table. Every text is
// GBK. Making an engine creates a control; copying shares it.
class ScriptEngine {
 public:
  ScriptEngine();
  ScriptEngine(const ScriptEngine& other);
  ScriptEngine& operator=(const ScriptEngine& other);
  ~ScriptEngine();

  automation::Object GetControl() const;
  bool Create(const std::optional<std::string>& progId = std::nullopt);
  bool SetLanguage(const std::optional<std::string>& language = std::nullopt);
  std::string GetLanguage() const;
  bool SetState(std::int32_t state);
  std::int32_t GetState() const;
  bool SetSitehWnd(std::int32_t window);
  std::int32_t GetSitehWnd() const;
  bool SetTimeout(std::int32_t timeout);
  std::int32_t GetTimeout() const;
  bool SetAllowUI(bool allow);
  bool GetAllowUI() const;
  bool SetUseSafeSubset(bool safeSubset);
  bool GetUseSafeSubset() const;
  automation::Object GetModules() const;
  automation::Object GetError() const;
  automation::Object GetCodeObject() const;
  automation::Object GetProcedures() const;
  std::int32_t AddObject(const std::string& name, const automation::Object& object,
                         std::optional<bool> addMembers = std::nullopt);
  std::int32_t Reset();
  std::int32_t AddCode(const std::string& code);
  automation::Variant Eval(const std::string& expression);
  std::int32_t ExecuteStatement(const std::string& statement);
  automation::Variant Run(const std::string& procedure, const ArgumentList* arguments = nullptr);

 private:
  automation::Object control_;
};

}  // namespace rankora::script
