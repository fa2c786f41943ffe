#pragma once
// Sha256: the SHA-256 digest, fed in pieces, computed by the system's crypto library (OpenSSL's EVP
// interface). Used to name a firmware image by its content, so two HEX files can be compared by what
// they would program rather than by their text.
//
// Failures: the crypto library failing to allocate or to run SHA-256 is not an outside condition a
// technician can act on, so it is thrown (std::bad_alloc, std::runtime_error), never returned.
// Threads: one object per thread; no shared state.

#include <openssl/evp.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace hlx::firmware {

class Sha256 {
public:
    using Digest = std::array<std::uint8_t, 32>;

    Sha256() : m_context(EVP_MD_CTX_new()) {
        if (!m_context) throw std::bad_alloc();
        start();
    }

    void update(std::span<const std::uint8_t> bytes) {
        check(EVP_DigestUpdate(m_context.get(), bytes.data(), bytes.size()));
    }
    void update(std::string_view bytes) {
        check(EVP_DigestUpdate(m_context.get(), bytes.data(), bytes.size()));
    }

    // Ends the message and returns its digest; the object is then reset for a new message.
    Digest finish() {
        Digest digest{};
        unsigned int length = 0;
        check(EVP_DigestFinal_ex(m_context.get(), digest.data(), &length));
        if (length != digest.size())
            throw std::runtime_error("SHA-256: the crypto library gave a digest of another size");
        start();
        return digest;
    }

    // The digest as 64 lower-case hex digits.
    static std::string hex(const Digest& digest) {
        static constexpr char kDigits[] = "0123456789abcdef";
        std::string text;
        text.reserve(2 * digest.size());
        for (std::uint8_t byte : digest) {
            text += kDigits[byte >> 4];
            text += kDigits[byte & 0x0F];
        }
        return text;
    }

    static Digest of(std::string_view bytes) {
        Sha256 sha;
        sha.update(bytes);
        return sha.finish();
    }

private:
    struct FreeContext {
        void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    };

    void start() { check(EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr)); }
    static void check(int result) {
        if (result != 1) throw std::runtime_error("SHA-256: the crypto library failed");
    }

    std::unique_ptr<EVP_MD_CTX, FreeContext> m_context;
};

}  // namespace hlx::firmware
