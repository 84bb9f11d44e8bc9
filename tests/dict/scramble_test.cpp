#include "dict/scramble.h"

#include <gtest/gtest.h>

#include <random>

#include "text/gbk.h"

namespace rankora::dict {
namespace {

TEST(DeriveKey, IsTheDigestInUpperCaseHex) {
  EXPECT_EQ(DeriveKey(""), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(DeriveKey("abc"), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(DeriveKey("kqme"), DeriveKey("kqme"));
  EXPECT_NE(DeriveKey(""), DeriveKey("kqme"));
}

TEST(Scramble, AddsTheKeyByteAtEachPlaceWithAPeriodOf32) {
  const std::string key = DeriveKey("mivadrex");
  const Bytes zeros(64, 0);
  const Bytes scrambled = ScrambleBytes(zeros, "mivadrex");
  for (std::size_t i = 0; i < 64; ++i) EXPECT_EQ(scrambled[i], static_cast<std::uint8_t>(key[i % 32])) << i;
  EXPECT_EQ(Bytes(scrambled.begin(), scrambled.begin() + 32), Bytes(scrambled.begin() + 32, scrambled.end()));
  // The sum wraps at 255, keeping 255 itself: 0 and 255 scramble alike.
  const Bytes edges = ScrambleBytes({255, 0, 200}, "mivadrex");
  EXPECT_EQ(edges[0], (255 + key[0]) % 255);
  EXPECT_EQ(edges[1], static_cast<std::uint8_t>(key[1]));
  EXPECT_EQ(UnscrambleBytes(ScrambleBytes({255}, "p"), "p"), Bytes{0});
}

TEST(Hex, WritesLowerCaseAndReadsOnlyLowerCaseDigits) {
  EXPECT_EQ(BytesToHex({10, 255}), "0aff");
  EXPECT_EQ(BytesToHex({}), "");
  EXPECT_EQ(HexToBytes("0aff"), (Bytes{10, 255}));
  EXPECT_EQ(HexToBytes("0AFF"), (Bytes{0, 0}));
  EXPECT_EQ(HexToBytes("0af"), Bytes{10});  // a lone last digit is dropped
  EXPECT_EQ(HexToBytes(""), Bytes{});
}

TEST(ScrambleText, RoundTripsEveryTextWithItsPassword) {
  EXPECT_EQ(ScrambleText("", "p"), "");
  EXPECT_EQ(UnscrambleText("", "p"), "");
  std::mt19937 random(8);
  for (int round = 0; round < 200; ++round) {
    std::string text;
    for (std::size_t n = random() % 80; n > 0; --n) text += static_cast<char>(1 + random() % 254);
    const std::string password = round % 5 == 0 ? "" : std::to_string(random());
    const std::string hex = ScrambleText(text, password);
    EXPECT_EQ(hex.size(), text.size() * 2);
    EXPECT_EQ(UnscrambleText(hex, password), text);
  }
  const std::string chinese = text::Gbk("百度权重");
  EXPECT_EQ(UnscrambleText(ScrambleText(chinese, "kqme"), "kqme"), chinese);
  EXPECT_NE(UnscrambleText(ScrambleText(chinese, "kqme"), "wrong"), chinese);
}

}  // namespace
}  // namespace rankora::dict
