#include "net/rsa_public_key.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

namespace vexa::net {
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

// "<what>: <OpenSSL's reason>", taking (and clearing) this thread's OpenSSL error queue.
vexa::Error OpenSslError(vexa::ErrorCode code, const std::string& what) {
    char reason[256] = "no reason given";
    if (unsigned long error = ERR_peek_last_error()) ERR_error_string_n(error, reason, sizeof reason);
    ERR_clear_error();
    return vexa::Error(code, what + ": " + reason);
}

vexa::Result<std::vector<std::uint8_t>> RunWithPkcs1(EVP_PKEY* key, InitFn init, RunFn run,
                                                     std::span<const std::uint8_t> in, const char* what) {
    CtxPtr ctx(EVP_PKEY_CTX_new(key, nullptr));
    if (!ctx || init(ctx.get()) <= 0 || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0) {
        return OpenSslError(vexa::ErrorCode::kInternal, what);
    }
    std::size_t length = 0;
    if (run(ctx.get(), nullptr, &length, in.data(), in.size()) <= 0)
        return OpenSslError(vexa::ErrorCode::kInternal, what);
    std::vector<std::uint8_t> out(length);
    if (run(ctx.get(), out.data(), &length, in.data(), in.size()) <= 0)
        return OpenSslError(vexa::ErrorCode::kProtocol, what);
    out.resize(length);
    return out;
}

}  // namespace

vexa::Result<RsaPublicKey> RsaPublicKey::FromPem(std::string_view pem) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.data(), int(pem.size())));
    if (!bio) return OpenSslError(vexa::ErrorCode::kInternal, "cannot read the server key");
    EVP_PKEY* key = PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr);
    if (key == nullptr)
        return OpenSslError(vexa::ErrorCode::kInvalidArgument, "server key is not PEM public-key text");
    RsaPublicKey result(key);
    if (EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA) {
        return vexa::Error(vexa::ErrorCode::kInvalidArgument, "server key is not an RSA key");
    }
    return result;
}

std::size_t RsaPublicKey::BlockSize() const {
    return std::size_t(EVP_PKEY_get_size(key_.get()));
}

vexa::Result<std::vector<std::uint8_t>> RsaPublicKey::Encrypt(std::span<const std::uint8_t> data) const {
    return RunWithPkcs1(key_.get(), EVP_PKEY_encrypt_init, EVP_PKEY_encrypt, data,
                        "cannot encrypt with the server key");
}

vexa::Result<std::vector<std::uint8_t>> RsaPublicKey::Recover(std::span<const std::uint8_t> block) const {
    if (block.size() != BlockSize()) {
        return vexa::Error(vexa::ErrorCode::kProtocol, "signature block of " + std::to_string(block.size()) +
                                                           " bytes, the server key makes " +
                                                           std::to_string(BlockSize()));
    }
    return RunWithPkcs1(key_.get(), EVP_PKEY_verify_recover_init, EVP_PKEY_verify_recover, block,
                        "reply signature does not open with the server key");
}

}  // namespace vexa::net
