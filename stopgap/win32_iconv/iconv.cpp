#include <iconv.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <string>

// One character at a time through MultiByteToWideChar and
// WideCharToMultiByte, which report no position of their own.
struct rankora_iconv_state {
  UINT from = 0;  // a code page; 1200 is UTF-16LE
  UINT to = 0;
};

namespace {

constexpr UINT kUtf16 = 1200;

UINT CodePage(const char* name) {
  std::string upper;
  for (const char* c = name; *c != '\0'; ++c) upper += static_cast<char>(*c >= 'a' && *c <= 'z' ? *c - 32 : *c);
  if (upper == "UTF-16LE") return kUtf16;
  if (upper == "UTF-8" || upper == "UTF8") return CP_UTF8;
  if (upper == "CP936" || upper == "GBK" || upper == "GB2312" || upper == "EUC-CN") return 936;
  if (upper == "GB18030") return 54936;
  if (upper == "ISO-8859-1" || upper == "LATIN1" || upper == "ISO8859-1") return 28591;
  if (upper == "ISO-8859-15" || upper == "LATIN-9") return 28605;
  if (upper == "WINDOWS-1252" || upper == "CP1252") return 1252;
  if (upper == "BIG5") return 950;
  if (upper == "SHIFT_JIS" || upper == "SJIS") return 932;
  if (upper == "EUC-KR") return 51949;
  if (upper == "US-ASCII" || upper == "ASCII") return 20127;
  return 0;
}

std::size_t Fail(int error) {
  errno = error;
  return static_cast<std::size_t>(-1);
}

}  // namespace

iconv_t iconv_open(const char* to, const char* from) {
  const UINT toPage = CodePage(to);
  const UINT fromPage = CodePage(from);
  if (toPage == 0 || fromPage == 0) {
    errno = EINVAL;
    return reinterpret_cast<iconv_t>(-1);
  }
  return new rankora_iconv_state{fromPage, toPage};
}

int iconv_close(iconv_t cd) {
  delete cd;
  return 0;
}

std::size_t iconv(iconv_t cd, char** in, std::size_t* inLeft, char** out, std::size_t* outLeft) {
  if (in == nullptr || *in == nullptr) return 0;
  while (*inLeft > 0) {
    // The next character as UTF-16, and how many input bytes it took.
    wchar_t units[2];
    int unitCount = 0;
    std::size_t taken = 0;
    if (cd->from != kUtf16) {
      for (std::size_t length = 1; length <= 4 && length <= *inLeft && unitCount == 0; ++length) {
        unitCount = MultiByteToWideChar(cd->from, MB_ERR_INVALID_CHARS, *in, static_cast<int>(length), units, 2);
        // Some code pages give U+FFFD for a sequence they cannot read.
        if (unitCount == 1 && units[0] == 0xFFFD && cd->from != CP_UTF8) unitCount = 0;
        taken = length;
      }
      if (unitCount == 0) return Fail(*inLeft < 4 ? EINVAL : EILSEQ);
    } else {
      if (*inLeft < 2) return Fail(EINVAL);
      std::memcpy(&units[0], *in, 2);
      unitCount = 1;
      if (units[0] >= 0xD800 && units[0] <= 0xDBFF) {
        if (*inLeft < 4) return Fail(EINVAL);
        std::memcpy(&units[1], *in + 2, 2);
        unitCount = 2;
      }
      taken = static_cast<std::size_t>(unitCount) * 2;
    }
    char bytes[8];
    std::size_t produced = 0;
    if (cd->to == kUtf16) {
      produced = static_cast<std::size_t>(unitCount) * 2;
      std::memcpy(bytes, units, produced);
    } else {
      BOOL defaulted = FALSE;
      const bool utf8 = cd->to == CP_UTF8;
      const int written = WideCharToMultiByte(cd->to, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, units,
                                              unitCount, bytes, sizeof bytes, nullptr, utf8 ? nullptr : &defaulted);
      if (written <= 0 || defaulted) return Fail(EILSEQ);
      produced = static_cast<std::size_t>(written);
    }
    if (produced > *outLeft) return Fail(E2BIG);
    std::memcpy(*out, bytes, produced);
    *out += produced;
    *outLeft -= produced;
    *in += taken;
    *inLeft -= taken;
  }
  return 0;
}
