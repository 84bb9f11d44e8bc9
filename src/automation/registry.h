// The classes that can be created by name: in-house components registered
// under the platform's ProgIDs and CLSIDs.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/hresult.h"
#include "automation/object.h"

namespace rankora::automation {

using Factory = std::function<Object()>;

// Registers a class under its CLSID ("{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}")
// and ProgIDs. Components do it from a static ClassRegistration.
void RegisterClass(std::string_view clsid, const std::vector<std::string>& progIds, Factory factory);

// The CLSID registered under a ProgID (ASCII letters in any case), in upper
// case with braces; CO_E_CLASSSTRING for a ProgID that is not registered.
HRESULT ClsidFromProgId(std::string_view progId, std::string& clsid);

// A CLSID string checked for its form and put in upper case;
// CO_E_CLASSSTRING when it is not one.
HRESULT ClsidFromString(std::string_view text, std::string& clsid);

// A new instance of the class; REGDB_E_CLASSNOTREG for an unknown CLSID.
HRESULT CreateInstance(const std::string& clsid, Object& object);

// Whether the registry holds a class under this ProgID.
bool IsRegistered(std::string_view progId);

// While it lives, creating a class by this ProgID fails with `code` before
// the platform or the registry is asked, on every thread: tests stand in for
// a system where nobody can provide the class. Withholdings do not nest for
// one name.
class ClassWithheld {
 public:
  ClassWithheld(std::string_view progId, HRESULT code = REGDB_E_CLASSNOTREG);
  ClassWithheld(const ClassWithheld&) = delete;
  ClassWithheld& operator=(const ClassWithheld&) = delete;
  ~ClassWithheld();

 private:
  std::string folded_;
};

// The code a withheld ProgID fails with; S_OK when it is not withheld.
HRESULT WithheldCode(std::string_view progId);

// While one lives, the registry's in-house components answer before the
// platform's classes, on every thread: the component tests check the
// in-house components on a system that has both.
class InHouseFirst {
 public:
  InHouseFirst();
  InHouseFirst(const InHouseFirst&) = delete;
  InHouseFirst& operator=(const InHouseFirst&) = delete;
  ~InHouseFirst();
};
bool IsInHouseFirst();

struct ClassRegistration {
  ClassRegistration(std::string_view clsid, const std::vector<std::string>& progIds, Factory factory) {
    RegisterClass(clsid, progIds, std::move(factory));
  }
};

}  // namespace rankora::automation
