#include "text/code_pages.h"

#include <iconv.h>

#include <bit>
#include <cerrno>

namespace rankora::text {
namespace {

constexpr const char* kCodePage936 = "CP936";
constexpr const char* kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

// One iconv descriptor, owned.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (valid()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // iconv_open reports failure as (iconv_t)-1.
  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }  // NOLINT(performance-no-int-to-ptr)
  iconv_t get() const { return cd_; }

  // Converts all of `input` into `output`, which must have room for it;
  // false when any of it is no character of the source or the target.
  bool ConvertWhole(std::string_view input, char* output, std::size_t& outputLeft) const {
    if (!valid()) return false;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    auto* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    const std::size_t result = iconv(cd_, &in, &inLeft, &output, &outputLeft);
    return result != static_cast<std::size_t>(-1) && inLeft == 0;
  }

 private:
  iconv_t cd_;
};

}  // namespace

char16_t DecodeCodePage936(std::string_view character) {
  thread_local const Converter decoder(kUtf16, kCodePage936);
  char16_t unit[2] = {0, 0};
  std::size_t left = sizeof unit;
  if (!decoder.ConvertWhole(character, reinterpret_cast<char*>(unit), left)) return 0;
  return left == sizeof unit - sizeof(char16_t) ? unit[0] : 0;
}

std::string EncodeCodePage936(char16_t unit) {
  thread_local const Converter encoder(kCodePage936, kUtf16);
  char bytes[4] = {};
  std::size_t left = sizeof bytes;
  if (!encoder.ConvertWhole(std::string_view(reinterpret_cast<const char*>(&unit), sizeof unit), bytes, left)) {
    return {};
  }
  return std::string(bytes, sizeof bytes - left);
}

bool DecodeNamedCharset(std::string_view bytes, const std::string& name, std::u16string& out) {
  const Converter converter(kUtf16, name.c_str());
  if (!converter.valid()) return false;
  std::u16string result;
  std::u16string buffer(bytes.size() + 16, u'\0');
  auto* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  while (inLeft > 0) {
    auto* out16 = reinterpret_cast<char*>(buffer.data());
    std::size_t outLeft = buffer.size() * sizeof(char16_t);
    const std::size_t done = iconv(converter.get(), &in, &inLeft, &out16, &outLeft);
    result.append(buffer.data(), buffer.size() - outLeft / sizeof(char16_t));
    if (done != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // A byte that is no character in this set: one replacement, then on.
    result += u'\uFFFD';
    ++in;
    --inLeft;
    iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
  }
  out = std::move(result);
  return true;
}

}  // namespace rankora::text
