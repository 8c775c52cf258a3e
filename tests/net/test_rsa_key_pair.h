// A fresh RSA key pair made at test time, playing the server's part: signs reply checksums and opens
// request checksums. Owns its OpenSSL key; use from one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <openssl/evp.h>

namespace vexa::net::testing {

class TestRsaKeyPair {
  public:
    explicit TestRsaKeyPair(unsigned bits = 1024);

    [[nodiscard]] std::string PublicPem() const;
    // Private-key operation with type 1 padding over raw data (what the client recovers).
    [[nodiscard]] std::vector<std::uint8_t> Sign(std::span<const std::uint8_t> data) const;
    // Private-key decryption of a type 2 block (what the client encrypts).
    [[nodiscard]] std::vector<std::uint8_t> Decrypt(std::span<const std::uint8_t> block) const;

  private:
    struct KeyFree {
        void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    };
    std::unique_ptr<EVP_PKEY, KeyFree> key_;
};

// Builds a protected reply: flags, check field (RSA block with bit 4, CRC with bit 2), then the body
// (scrambled with bit 1), Base64-encoded. `body` should already end with the nonce object.
[[nodiscard]] std::string PackReply(std::uint32_t flags, std::string_view body, const TestRsaKeyPair& key);

}  // namespace vexa::net::testing
