// The ready-state sink as the platform sees it: a dispatch interface called
// through its table with the platform's calling convention.
#include "automation/com/platform_headers.h"

// The project's headers come after the platform's (see platform_headers.h).
#include <gtest/gtest.h>

#include "automation/apartment.h"
#include "automation/dispatch.h"
#include "net/http_request.h"
#include "net/ready_state_sink.h"

namespace rankora::net {
namespace {

TEST(SinkAsPlatformDispatch, AnswersThroughTheIDispatchTable) {
  HttpRequest request;
  InvokeRecord seen{};
  request.SetReadyStateHandler([&](std::uintptr_t record) { seen = *reinterpret_cast<const InvokeRecord*>(record); });
  auto* dispatch = static_cast<IDispatch*>(const_cast<ReadyStateSink&>(request.Sink()).Interface());
  ASSERT_NE(dispatch, nullptr);

  const std::int32_t start = SinkRefCount();
  void* out = nullptr;
  EXPECT_EQ(dispatch->QueryInterface(IID_IUnknown, &out), static_cast<::HRESULT>(0x80004002));
  EXPECT_EQ(dispatch->QueryInterface(IID_IDispatch, &out), 0);
  EXPECT_EQ(out, dispatch);
  EXPECT_EQ(dispatch->AddRef(), static_cast<ULONG>(start + 2));
  EXPECT_EQ(dispatch->Release(), static_cast<ULONG>(start + 1));
  dispatch->Release();
  UINT count = 0;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&count), 0);
  EXPECT_EQ(count, 1U);

  VARIANT argument;
  VariantInit(&argument);
  DISPPARAMS params{&argument, nullptr, 1, 0};
  EXPECT_EQ(dispatch->Invoke(7, IID_NULL, 0x804, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(seen.self, reinterpret_cast<std::uintptr_t>(dispatch));
  EXPECT_EQ(seen.member, 7U);
  EXPECT_EQ(seen.locale, 0x804U);
  EXPECT_EQ(seen.flags, static_cast<std::uintptr_t>(DISPATCH_METHOD));
  EXPECT_EQ(seen.params, reinterpret_cast<std::uintptr_t>(&params));
  EXPECT_EQ(SinkRefCount(), start);
}

TEST(SinkAsPlatformDispatch, IsHandedToPlatformObjectsAsItself) {
  automation::CoInitialize();
  {
    HttpRequest request;
    request.SetReadyStateHandler([](std::uintptr_t) {});
    automation::Object dictionary;
    ASSERT_TRUE(automation::Create(dictionary, "Scripting.Dictionary"));
    const std::int32_t start = SinkRefCount();
    automation::CallMethod(dictionary, "Add", {"sink", const_cast<ReadyStateSink&>(request.Sink()).AsObject()});
    ASSERT_EQ(automation::LastCall().code, 0);
    EXPECT_GT(SinkRefCount(), start);  // the dictionary holds it through its table
    automation::CallMethod(dictionary, "RemoveAll");
    EXPECT_EQ(SinkRefCount(), start);
  }
  automation::CoUninitialize();
}

}  // namespace
}  // namespace rankora::net
