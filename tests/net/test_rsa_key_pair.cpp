#include "tests/net/test_rsa_key_pair.h"

#include <stdexcept>

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include "net/base64.h"
#include "net/crc32.h"
#include "net/scramble.h"

namespace vexa::net::testing {
namespace {

struct CtxFree {
    void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};

template <typename Init, typename Run>
std::vector<std::uint8_t> PrivateOperation(EVP_PKEY* key, Init init, Run run,
                                           std::span<const std::uint8_t> in) {
    std::unique_ptr<EVP_PKEY_CTX, CtxFree> ctx(EVP_PKEY_CTX_new(key, nullptr));
    if (!ctx || init(ctx.get()) <= 0 || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0) {
        throw std::runtime_error("RSA context");
    }
    std::size_t length = 0;
    if (run(ctx.get(), nullptr, &length, in.data(), in.size()) <= 0) throw std::runtime_error("RSA size");
    std::vector<std::uint8_t> out(length);
    if (run(ctx.get(), out.data(), &length, in.data(), in.size()) <= 0) return {};
    out.resize(length);
    return out;
}

}  // namespace

TestRsaKeyPair::TestRsaKeyPair(unsigned bits) : key_(EVP_RSA_gen(bits)) {
    if (!key_) throw std::runtime_error("RSA key generation");
}

std::string TestRsaKeyPair::PublicPem() const {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    PEM_write_bio_PUBKEY(bio.get(), key_.get());
    char* data = nullptr;
    long length = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, std::size_t(length));
}

std::vector<std::uint8_t> TestRsaKeyPair::Sign(std::span<const std::uint8_t> data) const {
    return PrivateOperation(key_.get(), EVP_PKEY_sign_init, EVP_PKEY_sign, data);
}

std::vector<std::uint8_t> TestRsaKeyPair::Decrypt(std::span<const std::uint8_t> block) const {
    return PrivateOperation(key_.get(), EVP_PKEY_decrypt_init, EVP_PKEY_decrypt, block);
}

std::string PackReply(std::uint32_t flags, std::string_view body, const TestRsaKeyPair& key) {
    std::vector<std::uint8_t> text(body.begin(), body.end());
    const std::uint32_t crc = Crc32(text);
    std::vector<std::uint8_t> crcBytes{std::uint8_t(crc), std::uint8_t(crc >> 8), std::uint8_t(crc >> 16),
                                       std::uint8_t(crc >> 24)};
    std::vector<std::uint8_t> packet{std::uint8_t(flags), std::uint8_t(flags >> 8), std::uint8_t(flags >> 16),
                                     std::uint8_t(flags >> 24)};
    if (flags & 4) {
        auto block = key.Sign(crcBytes);
        packet.insert(packet.end(), block.begin(), block.end());
    } else if (flags & 2) {
        packet.insert(packet.end(), crcBytes.begin(), crcBytes.end());
    }
    if (flags & 1) ScrambleInPlace(text);
    packet.insert(packet.end(), text.begin(), text.end());
    return EncodeBase64(packet);
}

}  // namespace vexa::net::testing
