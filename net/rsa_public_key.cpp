#include "net/rsa_public_key.h"

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

namespace net {
namespace {

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct CtxFree {
    void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};
using CtxPtr = std::unique_ptr<EVP_PKEY_CTX, CtxFree>;

using InitFn = int (*)(EVP_PKEY_CTX*);
using RunFn = int (*)(EVP_PKEY_CTX*, unsigned char*, std::size_t*, const unsigned char*, std::size_t);

std::optional<std::vector<std::uint8_t>> RunWithPkcs1(EVP_PKEY* key, InitFn init, RunFn run,
                                                      std::span<const std::uint8_t> in) {
    CtxPtr ctx(EVP_PKEY_CTX_new(key, nullptr));
    if (!ctx || init(ctx.get()) <= 0 || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0) {
        return std::nullopt;
    }
    std::size_t length = 0;
    if (run(ctx.get(), nullptr, &length, in.data(), in.size()) <= 0) return std::nullopt;
    std::vector<std::uint8_t> out(length);
    if (run(ctx.get(), out.data(), &length, in.data(), in.size()) <= 0) return std::nullopt;
    out.resize(length);
    return out;
}

}  // namespace

std::optional<RsaPublicKey> RsaPublicKey::FromPem(std::string_view pem) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.data(), int(pem.size())));
    if (!bio) return std::nullopt;
    EVP_PKEY* key = PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr);
    if (key == nullptr) return std::nullopt;
    if (EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA) {
        EVP_PKEY_free(key);
        return std::nullopt;
    }
    return RsaPublicKey(key);
}

std::size_t RsaPublicKey::BlockSize() const {
    return std::size_t(EVP_PKEY_get_size(key_.get()));
}

std::optional<std::vector<std::uint8_t>> RsaPublicKey::Encrypt(std::span<const std::uint8_t> data) const {
    return RunWithPkcs1(key_.get(), EVP_PKEY_encrypt_init, EVP_PKEY_encrypt, data);
}

std::optional<std::vector<std::uint8_t>> RsaPublicKey::Recover(std::span<const std::uint8_t> block) const {
    if (block.size() != BlockSize()) return std::nullopt;
    return RunWithPkcs1(key_.get(), EVP_PKEY_verify_recover_init, EVP_PKEY_verify_recover, block);
}

}  // namespace net
