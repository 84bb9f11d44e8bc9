// The platform calls the ready-state sink's entries as the methods of an
// IDispatch. Their calling convention comes from the build (RANKORA_COM_CALL);
// should it not be COM's, a 32-bit build would still compile and each call
// would leave the caller's stack wrong. This file stops such a build.
#include "automation/com/platform_headers.h"

// The project's headers come after the platform's (see platform_headers.h).
#include <cstddef>
#include <type_traits>

#include "net/ready_state_sink.h"

namespace rankora::net {
namespace {

// A pointer to a function or member function with COM's calling convention
// (STDMETHODCALLTYPE), and how many arguments it is called with, the object
// included.
template <typename T>
struct ComCall : std::false_type {
  static constexpr std::size_t kArity = 0;
};
template <typename R, typename... A>
struct ComCall<R(STDMETHODCALLTYPE*)(A...)> : std::true_type {
  static constexpr std::size_t kArity = sizeof...(A);
};
template <typename R, typename C, typename... A>
struct ComCall<R (STDMETHODCALLTYPE C::*)(A...)> : std::true_type {
  static constexpr std::size_t kArity = sizeof...(A) + 1;
};

// An entry of the sink's table in the place of the IDispatch method `M`.
template <typename Entry, typename Method>
constexpr bool kCalledAs =
    ComCall<Entry>::value&& ComCall<Method>::value&& ComCall<Entry>::kArity == ComCall<Method>::kArity;

// IUnknown's QueryInterface has a template beside it; this is the method.
using QueryInterfaceMethod = ::HRESULT (STDMETHODCALLTYPE IUnknown::*)(REFIID, void**);
static_assert(
    std::is_same_v<decltype(static_cast<QueryInterfaceMethod>(&IUnknown::QueryInterface)), QueryInterfaceMethod>);

#if defined(__i386__) || defined(_M_IX86)
// Where conventions differ, the test above tells them apart.
static_assert(!ComCall<std::int32_t (*)(void*)>::value && !ComCall<std::int32_t(__cdecl*)(void*)>::value);
#endif

static_assert(kCalledAs<decltype(SinkEntries::QueryInterface), QueryInterfaceMethod>,
              "QueryInterface is not called as COM calls it");
static_assert(kCalledAs<decltype(SinkEntries::AddRef), decltype(&IDispatch::AddRef)>,
              "AddRef is not called as COM calls it");
static_assert(kCalledAs<decltype(SinkEntries::Release), decltype(&IDispatch::Release)>,
              "Release is not called as COM calls it");
static_assert(kCalledAs<decltype(SinkEntries::GetTypeInfoCount), decltype(&IDispatch::GetTypeInfoCount)>,
              "GetTypeInfoCount is not called as COM calls it");
static_assert(kCalledAs<decltype(SinkEntries::GetTypeInfo), decltype(&IDispatch::GetTypeInfo)>,
              "GetTypeInfo is not called as COM calls it");
static_assert(kCalledAs<decltype(SinkEntries::GetIDsOfNames), decltype(&IDispatch::GetIDsOfNames)>,
              "GetIDsOfNames is not called as COM calls it");
static_assert(kCalledAs<decltype(SinkEntries::Invoke), decltype(&IDispatch::Invoke)>,
              "Invoke is not called as COM calls it");
// The table is the seven entries in order, pointer-sized, as the platform reads it.
static_assert(sizeof(SinkEntries) == 7 * sizeof(void*));

}  // namespace
}  // namespace rankora::net
