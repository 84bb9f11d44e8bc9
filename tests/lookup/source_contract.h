// What every lookup source promises behind lookup::Source, as one suite run
// for each kind of source: answers for calls from several threads at once,
// refusals told from failures, a late answer or none, and the way through an
// exit's proxy. A source's test file instantiates the suite with the traits
// that serve answers in that source's own way:
//
//   INSTANTIATE_TEST_SUITE_P(Page, SourceContract, ::testing::Values(&kPageTraits), ContractName);
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "lookup/source.h"
#include "loopback_server.h"

namespace rankora::lookup {

// How the service answers one kind of source, and how that source asks.
struct SourceTraits {
  std::string name;  // the instantiation's name in test names: legacy, page, api
  SourceKind kind = SourceKind::kLegacy;
  std::string key;  // the paid interface's key, where the source needs one
  std::size_t columns = 1;
  // The answer to `request` that gives every domain it asks for `weight` as
  // its main weight.
  std::function<tools::Reply(const tools::ReceivedRequest& request, const std::string& weight)> found;
  // The domains `request` asks for, as the service reads them.
  std::function<std::vector<std::string>(const tools::ReceivedRequest& request)> askedDomains;
  // An answer with status 200 that holds no weights, and how the source
  // classes it.
  std::function<tools::Reply()> withoutWeights;
  Outcome withoutWeightsOutcome = Outcome::kRefused;
  std::string withoutWeightsReason;
  // The service's address over plain HTTP (so that a proxy sees the request
  // itself, not a tunnel); empty where the source's own address is plain.
  std::string plainService;
  // The path and query of the request for www.a.com, as a regular expression.
  std::string requestForA;
};

// The reply `status` with `body` of `contentType` and `headers`.
tools::Reply MakeReply(int status, const std::string& contentType, const std::string& body,
                       std::vector<tools::HttpMessageHeader> headers = {});

class SourceContract : public ::testing::TestWithParam<const SourceTraits*> {
 protected:
  const SourceTraits& Traits() const { return *GetParam(); }
  SourceSettings Settings(const std::string& service, int timeoutSeconds = 20) const;
  // One call with as many domains as the source takes in one call, up to two.
  std::vector<std::string> OneCallsDomains() const;
  std::vector<LookupResult> Ask(const std::vector<std::string>& domains, int timeoutSeconds = 20);

  std::function<tools::Reply(const tools::ReceivedRequest&)> reply_;
  tools::LoopbackServer server_{[this](const tools::ReceivedRequest& request) { return reply_(request); }};
};

// Names each instantiation's tests after its source.
std::string ContractName(const ::testing::TestParamInfo<const SourceTraits*>& info);

}  // namespace rankora::lookup
