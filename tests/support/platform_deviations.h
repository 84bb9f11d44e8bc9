// Where the platform the tests run on parts from the one Rankora's users run:
// Wine standing in for Windows. One table (platform_deviations.cpp) says for
// each what Wine does, what Windows does and where Windows' behaviour is
// documented, and either how Rankora copes with both, or that the tests it
// affects skip themselves under Wine with that text, so that no difference
// passes silently. On Windows itself and on Linux nothing is skipped.
#pragma once

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <string_view>

namespace rankora::testing {

struct Deviation {
  std::string_view id;
  std::string_view wine;
  std::string_view windows;
  std::string_view source;
  // How Rankora behaves alike on both; empty where tests skip instead.
  std::string_view handled = {};
};

// Every known deviation.
std::span<const Deviation> Deviations();

// True when the test program runs under Wine.
bool RunsUnderWine();

// True where the tests reach the platform's own automation components
// (Windows, or Wine standing in for it), not the in-house ones of Linux.
bool UsesPlatformComponents();

// The skip message of deviation `id`: what differs and why the test cannot
// hold under Wine. An unknown id is a fault of the test and says so.
std::string DeviationReason(std::string_view id);

}  // namespace rankora::testing

// Skips the current test under Wine for the deviation `id` of the table.
#define RANKORA_SKIP_UNDER_WINE(id) \
  if (::rankora::testing::RunsUnderWine()) GTEST_SKIP() << ::rankora::testing::DeviationReason(id)
