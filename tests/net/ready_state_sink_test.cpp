#include "net/ready_state_sink.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "automation/dispatch.h"
#include "net/http_request.h"

namespace rankora::net {
namespace {

constexpr std::int32_t kNoInterface = static_cast<std::int32_t>(0x80004002);
constexpr std::int32_t kNotImplemented = static_cast<std::int32_t>(0x80004001);
constexpr std::int32_t kFailed = static_cast<std::int32_t>(0x80004005);
constexpr std::int32_t kDisconnected = static_cast<std::int32_t>(0x80010108);

// The sink's entries as a caller reaches them: through its interface pointer.
const SinkEntries& EntriesOf(void* sink) { return **static_cast<const SinkEntries* const*>(sink); }

TEST(ReadyStateSink, LaysOutSevenEntriesAndAZero) {
  HttpRequest request;
  EXPECT_FALSE(request.Sink().Filled());
  request.SetReadyStateHandler([](std::uintptr_t) {});
  const ReadyStateSink& sink = request.Sink();
  ASSERT_TRUE(sink.Filled());
  const SinkEntries& entries = ReadyStateSink::Entries();
  EXPECT_EQ(sink.Table()[0], reinterpret_cast<std::uintptr_t>(entries.QueryInterface));
  EXPECT_EQ(sink.Table()[6], reinterpret_cast<std::uintptr_t>(entries.Invoke));
  EXPECT_EQ(sink.Table()[7], 0u);
  // The platform's request has no onreadystatechange: the write failed quietly.
  EXPECT_EQ(automation::LastCall().code, automation::DISP_E_UNKNOWNNAME);
}

TEST(ReadyStateSink, AnswersOnlyTheDispatchInterface) {
  HttpRequest request;
  request.SetReadyStateHandler([](std::uintptr_t) {});
  void* sink = const_cast<ReadyStateSink&>(request.Sink()).Interface();
  const SinkEntries& entries = EntriesOf(sink);
  const std::int32_t start = SinkRefCount();
  void* out = &out;
  EXPECT_EQ(entries.QueryInterface(sink, &kIidUnknown, &out), kNoInterface);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(SinkRefCount(), start);
  EXPECT_EQ(entries.QueryInterface(sink, &kIidDispatch, &out), 0);
  EXPECT_EQ(out, sink);
  EXPECT_EQ(SinkRefCount(), start + 1);
  EXPECT_EQ(entries.AddRef(sink), start + 2);
  EXPECT_EQ(entries.Release(sink), start + 1);
  EXPECT_EQ(entries.Release(sink), start);
  EXPECT_EQ(entries.Release(sink), start - 1);  // below where it was: allowed, frees nothing
  entries.AddRef(sink);
  unsigned count = 0;
  EXPECT_EQ(entries.GetTypeInfoCount(sink, &count), 0);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(entries.GetTypeInfo(sink, 0, 0, &out), kNotImplemented);
  EXPECT_EQ(entries.GetIDsOfNames(sink, &kIidDispatch, nullptr, 0, 0, nullptr), kNotImplemented);
}

TEST(ReadyStateSink, InvokeHandsTheLastRegisteredHandlerItsArguments) {
  HttpRequest first;
  HttpRequest second;
  int firstCalls = 0;
  std::vector<InvokeRecord> seen;
  first.SetReadyStateHandler([&](std::uintptr_t) { ++firstCalls; });
  second.SetReadyStateHandler(
      [&](std::uintptr_t record) { seen.push_back(*reinterpret_cast<const InvokeRecord*>(record)); });
  void* sink = const_cast<ReadyStateSink&>(first.Sink()).Interface();
  unsigned argError = 0;
  EXPECT_EQ(EntriesOf(sink).Invoke(sink, 4242, &kIidUnknown, 2052, 1, nullptr, nullptr, nullptr, &argError), 0);
  EXPECT_EQ(firstCalls, 0);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].self, reinterpret_cast<std::uintptr_t>(sink));
  EXPECT_EQ(seen[0].member, 4242u);
  EXPECT_EQ(seen[0].interfaceId, reinterpret_cast<std::uintptr_t>(&kIidUnknown));
  EXPECT_EQ(seen[0].locale, 2052u);
  EXPECT_EQ(seen[0].flags, 1u);
  EXPECT_EQ(seen[0].argError, reinterpret_cast<std::uintptr_t>(&argError));
}

// The platform calls Invoke: a failing handler is a failed call, and the
// next call reaches the handler again.
TEST(ReadyStateSink, AHandlersExceptionStaysInsideInvoke) {
  HttpRequest request;
  int calls = 0;
  request.SetReadyStateHandler([&](std::uintptr_t) {
    if (++calls == 1) throw std::runtime_error("handler failed");
  });
  void* sink = const_cast<ReadyStateSink&>(request.Sink()).Interface();
  std::int32_t code = 0;
  EXPECT_NO_THROW(code = EntriesOf(sink).Invoke(sink, 1, &kIidUnknown, 0, 1, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(code, kFailed);
  EXPECT_EQ(EntriesOf(sink).Invoke(sink, 1, &kIidUnknown, 0, 1, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(calls, 2);
}

TEST(ReadyStateSink, NothingReachesASinkWhoseRequestIsGone) {
  int calls = 0;
  automation::Object link;
  {
    auto request = std::make_unique<HttpRequest>();
    request->SetReadyStateHandler([&](std::uintptr_t) { ++calls; });
    link = const_cast<ReadyStateSink&>(request->Sink()).AsObject();
    automation::CallMethod(link, "onreadystatechange");
    EXPECT_EQ(calls, 1);
  }
  // The object value outlived the request that held the sink.
  automation::CallMethod(link, "onreadystatechange");
  EXPECT_EQ(automation::LastCall().code, kDisconnected);
  EXPECT_EQ(calls, 1);
}

TEST(ReadyStateSink, ACopyPointsIntoItself) {
  HttpRequest request;
  request.SetReadyStateHandler([](std::uintptr_t) {});
  const HttpRequest copy = request;
  EXPECT_TRUE(copy.Sink().Filled());
  EXPECT_NE(const_cast<ReadyStateSink&>(copy.Sink()).Interface(),
            const_cast<ReadyStateSink&>(request.Sink()).Interface());
  EXPECT_EQ(copy.Sink().Table(), request.Sink().Table());
}

}  // namespace
}  // namespace rankora::net
