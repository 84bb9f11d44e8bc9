#include "automation/com/platform_headers.h"

// The layer's headers come after the platform's (see platform_headers.h).
#include "automation/platform_classes.h"

#include "automation/com/com_bridge.h"
#include "text/gbk.h"

namespace rankora::automation {
namespace {

// The class named `name` in the type library `file`, created through its
// type information.
HRESULT CreateFromTypeLibrary(const std::u16string& name, const std::string& file, IUnknown*& out) {
  std::u16string path = text::ToUtf16(file);
  ITypeLib* library = nullptr;
  HRESULT code = LoadTypeLib(reinterpret_cast<LPCOLESTR>(path.c_str()), &library);
  if (Failed(code)) return code;
  // A full path is also registered, so that the platform finds the library again.
  if (file.find('\\') != std::string::npos) RegisterTypeLib(library, reinterpret_cast<LPOLESTR>(path.data()), nullptr);
  std::u16string buffer = name;
  constexpr USHORT kMaxFound = 16;
  ITypeInfo* infos[kMaxFound] = {};
  MEMBERID ids[kMaxFound] = {};
  USHORT found = kMaxFound;
  code = library->FindName(reinterpret_cast<LPOLESTR>(buffer.data()), 0, infos, ids, &found);
  library->Release();
  if (Failed(code)) return code;
  code = TYPE_E_ELEMENTNOTFOUND;
  for (USHORT i = 0; i < found; ++i) {
    TYPEATTR* attributes = nullptr;
    if (code == TYPE_E_ELEMENTNOTFOUND && ids[i] == MEMBERID_NIL && Succeeded(infos[i]->GetTypeAttr(&attributes))) {
      const bool isClass = attributes->typekind == TKIND_COCLASS;
      infos[i]->ReleaseTypeAttr(attributes);
      if (isClass) code = infos[i]->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&out));
    }
    infos[i]->Release();
  }
  return code;
}

}  // namespace

HRESULT CreatePlatformObject(std::string_view name, const std::string* typeLibraryFile, Object& object) {
  const std::u16string wide = text::ToUtf16(name);
  const bool byClsid = !name.empty() && name.front() == '{';
  IUnknown* unknown = nullptr;
  HRESULT code = S_OK;
  if (typeLibraryFile != nullptr && !byClsid) {
    code = CreateFromTypeLibrary(wide, *typeLibraryFile, unknown);
  } else {
    CLSID clsid{};
    code = byClsid ? CLSIDFromString(reinterpret_cast<LPCOLESTR>(wide.c_str()), &clsid)
                   : CLSIDFromProgID(reinterpret_cast<LPCOLESTR>(wide.c_str()), &clsid);
    if (Failed(code)) return code;
    // In-process server, in-process handler, local and remote server; a
    // system that refuses the remote server is asked again without it.
    code = CoCreateInstance(clsid, nullptr, 0x17, IID_IUnknown, reinterpret_cast<void**>(&unknown));
    if (code == E_INVALIDARG) {
      code = CoCreateInstance(clsid, nullptr, 7, IID_IUnknown, reinterpret_cast<void**>(&unknown));
    }
  }
  if (Failed(code)) return code;
  code = OleRun(unknown);
  if (Succeeded(code)) object = com::WrapInterface(unknown);
  unknown->Release();
  return code;
}

}  // namespace rankora::automation
