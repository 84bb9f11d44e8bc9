#include "automation/com/platform_headers.h"

// The layer's headers come after the platform's (see platform_headers.h).
#include "automation/platform_classes.h"

#include "automation/com/com_bridge.h"
#include "automation/com/com_owners.h"
#include "text/gbk.h"

#include <string>

namespace rankora::automation {
namespace {

// The class named `name` in the type library `file`, created through its
// type information.
HRESULT CreateFromTypeLibrary(const std::u16string& name, const std::string& file, com::ComPtr<IUnknown>& out) {
  std::u16string path = text::ToUtf16(file);
  com::ComPtr<ITypeLib> library;
  HRESULT code = LoadTypeLib(reinterpret_cast<LPCOLESTR>(path.c_str()), library.Out());
  if (Failed(code)) return code;
  // A full path is also registered, so that the platform finds the library again.
  if (file.find('\\') != std::string::npos) {
    RegisterTypeLib(library.Get(), reinterpret_cast<LPOLESTR>(path.data()), nullptr);
  }
  std::u16string buffer = name;
  constexpr USHORT kMaxFound = 16;
  ITypeInfo* found[kMaxFound] = {};
  MEMBERID ids[kMaxFound] = {};
  USHORT foundCount = kMaxFound;
  code = library->FindName(reinterpret_cast<LPOLESTR>(buffer.data()), 0, found, ids, &foundCount);
  library.Reset();
  if (Failed(code)) return code;
  com::ComPtr<ITypeInfo> infos[kMaxFound];
  for (USHORT i = 0; i < foundCount && i < kMaxFound; ++i) infos[i] = com::ComPtr<ITypeInfo>::Adopt(found[i]);
  code = TYPE_E_ELEMENTNOTFOUND;
  for (USHORT i = 0; i < foundCount && i < kMaxFound && code == TYPE_E_ELEMENTNOTFOUND; ++i) {
    TYPEATTR* attributes = nullptr;
    if (ids[i] != MEMBERID_NIL || Failed(infos[i]->GetTypeAttr(&attributes))) continue;
    const bool isClass = attributes->typekind == TKIND_COCLASS;
    infos[i]->ReleaseTypeAttr(attributes);
    if (isClass) code = infos[i]->CreateInstance(nullptr, IID_IUnknown, out.OutVoid());
  }
  return code;
}

// Whether the class may have a server outside this process: a local server,
// or an AppID that can name a remote one. A class without is asked for
// in-process only: asking for more of a class whose module is gone makes the
// system look for a server that nobody will start (Wine waits half a minute).
bool MayHaveOutOfProcessServer(const CLSID& clsid) {
  wchar_t text[40] = {};
  if (StringFromGUID2(clsid, text, 40) == 0) return true;
  const std::wstring path = std::wstring(L"CLSID\\") + text;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return true;
  bool found = RegQueryValueExW(key, L"AppID", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  for (const wchar_t* server : {L"LocalServer32", L"LocalServer"}) {
    HKEY sub = nullptr;
    if (!found && RegOpenKeyExW(key, server, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
      found = true;
      RegCloseKey(sub);
    }
  }
  RegCloseKey(key);
  return found;
}

}  // namespace

HRESULT CreatePlatformObject(std::string_view name, const std::string* typeLibraryFile, Object& object) {
  const std::u16string wide = text::ToUtf16(name);
  const bool byClsid = !name.empty() && name.front() == '{';
  com::ComPtr<IUnknown> unknown;
  HRESULT code = S_OK;
  if (typeLibraryFile != nullptr && !byClsid) {
    code = CreateFromTypeLibrary(wide, *typeLibraryFile, unknown);
  } else {
    CLSID clsid{};
    code = byClsid ? CLSIDFromString(reinterpret_cast<LPCOLESTR>(wide.c_str()), &clsid)
                   : CLSIDFromProgID(reinterpret_cast<LPCOLESTR>(wide.c_str()), &clsid);
    if (Failed(code)) return code;
    if (!MayHaveOutOfProcessServer(clsid)) {
      code = CoCreateInstance(clsid, nullptr, com::kInProcess, IID_IUnknown, unknown.OutVoid());
    } else {
      // A system that refuses the remote server is asked again without it.
      code = CoCreateInstance(clsid, nullptr, com::kAnyServer, IID_IUnknown, unknown.OutVoid());
    }
    if (code == E_INVALIDARG) {
      code = CoCreateInstance(clsid, nullptr, com::kAnyServerButRemote, IID_IUnknown, unknown.OutVoid());
    }
  }
  if (Failed(code)) return code;
  code = OleRun(unknown.Get());
  if (Succeeded(code)) object = com::WrapInterface(unknown.Get());
  return code;
}

}  // namespace rankora::automation
