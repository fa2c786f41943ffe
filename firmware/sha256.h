#pragma once
// Sha256: the SHA-256 digest, fed in pieces, computed by the system's crypto library (OpenSSL's EVP
// interface on Linux, bcrypt on Windows). Used to name a firmware image by its content, so two HEX files
// can be compared by what they would program rather than by their text.
//
// Failures: the crypto library failing to allocate or to run SHA-256 is not an outside condition a
// technician can act on, so it is thrown (std::bad_alloc, std::runtime_error), never returned.
// Threads: one object per thread; no shared state.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace hlx::firmware {

class Sha256 {
public:
    using Digest = std::array<std::uint8_t, 32>;

    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void update(std::span<const std::uint8_t> bytes);
    void update(std::string_view bytes) {
        update({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    }

    // Ends the message and returns its digest; the object is then reset for a new message.
    Digest finish();

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
    struct Context;  // the crypto library's state
    std::unique_ptr<Context> m_context;
};

}  // namespace hlx::firmware
