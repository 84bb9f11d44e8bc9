// The platform's own classes, created by name where the platform has them.
// The layer's registry of in-house components answers the names the
// platform does not know.
#pragma once

#include <string>
#include <string_view>

#include "automation/hresult.h"
#include "automation/object.h"

namespace rankora::automation {

// Makes `object` a new instance of the platform's class named by a ProgID, or
// by a CLSID string when `name` begins with "{", optionally through a type
// library. CO_E_CLASSSTRING or REGDB_E_CLASSNOTREG when the platform has no
// class of that name; any other failure code when it has one and making it
// failed. `object` is set only on success.
HRESULT CreatePlatformObject(std::string_view name, const std::string* typeLibraryFile, Object& object);

}  // namespace rankora::automation
