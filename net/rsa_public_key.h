// The server's RSA public key, read from PEM text. Encrypts the request checksum and recovers the
// checksum from a reply's signature block, both with PKCS #1 v1.5 padding.
// The object owns its OpenSSL key; const calls are thread-safe (each makes its own operation context).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include <openssl/evp.h>

#include "platform/error.h"

namespace vexa::net {

class RsaPublicKey {
  public:
    // Reads a "BEGIN PUBLIC KEY" PEM text; fails when it holds no RSA public key.
    [[nodiscard]] static vexa::Result<RsaPublicKey> FromPem(std::string_view pem);

    // Modulus size in bytes: the length of every block made or read with this key.
    [[nodiscard]] std::size_t BlockSize() const;

    // Public-key encryption (type 2 padding).
    [[nodiscard]] vexa::Result<std::vector<std::uint8_t>> Encrypt(std::span<const std::uint8_t> data) const;

    // Public-key decryption of a block made with the private key (type 1 padding); fails unless the
    // block has exactly BlockSize() bytes and its padding is sound.
    [[nodiscard]] vexa::Result<std::vector<std::uint8_t>> Recover(std::span<const std::uint8_t> block) const;

  private:
    struct KeyFree {
        void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    };
    explicit RsaPublicKey(EVP_PKEY* key) : key_(key, KeyFree{}) {}

    std::shared_ptr<EVP_PKEY> key_;
};

}  // namespace vexa::net
