#include "dict/scramble.h"

#include "dict/md5.h"

namespace rankora::dict {
namespace {

constexpr char kUpperHex[] = "0123456789ABCDEF";
constexpr char kLowerHex[] = "0123456789abcdef";

std::string KeyOf(std::string_view password) { return DeriveKey(password); }

// The key byte at 1-based position i: j runs 1, 2, ..., 32, 1, 2, ...
std::uint8_t KeyAt(const std::string& key, std::size_t i) {
  const std::size_t j = i % key.size() == 0 ? key.size() : i % key.size();
  return static_cast<std::uint8_t>(key[j - 1]);
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

}  // namespace

std::string DeriveKey(std::string_view password) {
  const std::optional<Md5Digest> digest = Md5(password);
  if (!digest) return {};
  std::string key;
  for (const std::uint8_t byte : *digest) {
    key += kUpperHex[byte >> 4];
    key += kUpperHex[byte & 0x0F];
  }
  return key;
}

Bytes ScrambleBytes(const Bytes& data, std::string_view password) {
  const std::string key = KeyOf(password);
  Bytes result(data.size(), 0);
  if (key.empty()) return result;
  for (std::size_t i = 1; i <= data.size(); ++i) {
    const int sum = data[i - 1] + KeyAt(key, i);
    result[i - 1] = static_cast<std::uint8_t>(sum == 255 ? 255 : sum % 255);
  }
  return result;
}

Bytes UnscrambleBytes(const Bytes& data, std::string_view password) {
  const std::string key = KeyOf(password);
  Bytes result(data.size(), 0);
  if (key.empty()) return result;
  for (std::size_t i = 1; i <= data.size(); ++i) {
    result[i - 1] = static_cast<std::uint8_t>((data[i - 1] - KeyAt(key, i) + 255) % 255);
  }
  return result;
}

std::string BytesToHex(const Bytes& bytes) {
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (const std::uint8_t byte : bytes) {
    hex += kLowerHex[byte >> 4];
    hex += kLowerHex[byte & 0x0F];
  }
  return hex;
}

Bytes HexToBytes(std::string_view hex) {
  Bytes bytes(hex.size() / 2, 0);
  for (std::size_t k = 0; k < bytes.size(); ++k) {
    bytes[k] = static_cast<std::uint8_t>(16 * DigitValue(hex[2 * k]) + DigitValue(hex[2 * k + 1]));
  }
  return bytes;
}

std::string ScrambleText(std::string_view text, std::string_view password) {
  return BytesToHex(ScrambleBytes(Bytes(text.begin(), text.end()), password));
}

std::string UnscrambleText(std::string_view hex, std::string_view password) {
  const Bytes bytes = UnscrambleBytes(HexToBytes(hex), password);
  std::string text;
  for (const std::uint8_t byte : bytes) {
    if (byte == 0) break;
    text += static_cast<char>(byte);
  }
  return text;
}

}  // namespace rankora::dict
