#include "dict/md5.h"

#include <openssl/evp.h>

namespace rankora::dict {

std::optional<Md5Digest> Md5(std::string_view bytes) {
  Md5Digest digest{};
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_md5(), nullptr) != 1 ||
      length != digest.size()) {
    return std::nullopt;
  }
  return digest;
}

}  // namespace rankora::dict
