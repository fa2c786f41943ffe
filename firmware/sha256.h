#pragma once
// Sha256: the SHA-256 digest (FIPS 180-4), fed in pieces. Used to name a firmware image by its content,
// so two HEX files can be compared by what they would program rather than by their text.
//
// Threads: one object per thread; no shared state. Cheap to create (no allocation).

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace hlx::firmware {

class Sha256 {
public:
    using Digest = std::array<std::uint8_t, 32>;

    Sha256();
    void update(std::span<const std::uint8_t> bytes);
    void update(std::string_view bytes);
    // Ends the message and returns its digest; the object is then reset for a new message.
    Digest finish();

    // The digest as 64 lower-case hex digits.
    static std::string hex(const Digest& digest);
    static Digest of(std::string_view bytes);

private:
    void compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> m_state;
    std::array<std::uint8_t, 64> m_block;
    std::size_t m_blockFill = 0;
    std::uint64_t m_length = 0;  // bytes fed so far
};

}  // namespace hlx::firmware
