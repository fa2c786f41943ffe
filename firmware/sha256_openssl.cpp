// Sha256 over OpenSSL's EVP interface (libcrypto).

#include <openssl/evp.h>

#include <new>
#include <stdexcept>

#include "firmware/sha256.h"

namespace hlx::firmware {
namespace {

void check(int result) {
    if (result != 1) throw std::runtime_error("SHA-256: the crypto library failed");
}

}  // namespace

struct Sha256::Context {
    struct Free {
        void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    };
    std::unique_ptr<EVP_MD_CTX, Free> evp{EVP_MD_CTX_new()};
    void start() { check(EVP_DigestInit_ex(evp.get(), EVP_sha256(), nullptr)); }
};

Sha256::Sha256() : m_context(std::make_unique<Context>()) {
    if (!m_context->evp) throw std::bad_alloc();
    m_context->start();
}

Sha256::~Sha256() = default;

void Sha256::update(std::span<const std::uint8_t> bytes) {
    check(EVP_DigestUpdate(m_context->evp.get(), bytes.data(), bytes.size()));
}

Sha256::Digest Sha256::finish() {
    Digest digest{};
    unsigned int length = 0;
    check(EVP_DigestFinal_ex(m_context->evp.get(), digest.data(), &length));
    if (length != digest.size())
        throw std::runtime_error("SHA-256: the crypto library gave a digest of another size");
    m_context->start();
    return digest;
}

}  // namespace hlx::firmware
