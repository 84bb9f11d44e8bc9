#include "dict/md5.h"

#include <windows.h>

#include <algorithm>

// The state the system's MD5 calls work on, and the calls: advapi32.dll
// exports them, but no system header declares them.
struct Md5Context {
  ULONG i[2];
  ULONG buf[4];
  unsigned char in[64];
  unsigned char digest[16];
};

extern "C" {
void WINAPI MD5Init(Md5Context* context);
void WINAPI MD5Update(Md5Context* context, const unsigned char* input, unsigned int length);
void WINAPI MD5Final(Md5Context* context);
}

namespace rankora::dict {

std::optional<Md5Digest> Md5(std::string_view bytes) {
  Md5Context context{};
  MD5Init(&context);
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  // The length is an unsigned int: a longer text goes in pieces.
  for (std::size_t done = 0; done < bytes.size();) {
    const auto piece = static_cast<unsigned int>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    MD5Update(&context, data + done, piece);
    done += piece;
  }
  MD5Final(&context);
  Md5Digest digest{};
  std::copy(std::begin(context.digest), std::end(context.digest), digest.begin());
  return digest;
}

}  // namespace rankora::dict
