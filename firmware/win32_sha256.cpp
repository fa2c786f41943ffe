// Sha256 over Windows' CNG (bcrypt): the SHA-256 algorithm provider, opened once per object, and a
// reusable hash object, so finish() leaves it ready for the next message.

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include <fmt/format.h>

#include "firmware/sha256.h"

namespace hlx::firmware {
namespace {

void check(NTSTATUS status, const char* step) {
    if (BCRYPT_SUCCESS(status)) return;
    throw std::runtime_error(fmt::format("SHA-256: bcrypt failed in {} (status 0x{:08X})", step,
                                         static_cast<unsigned long>(status)));
}

}  // namespace

struct Sha256::Context {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~Context() {
        if (hash != nullptr) ::BCryptDestroyHash(hash);
        if (algorithm != nullptr) ::BCryptCloseAlgorithmProvider(algorithm, 0);
    }
};

Sha256::Sha256() : m_context(std::make_unique<Context>()) {
    check(::BCryptOpenAlgorithmProvider(&m_context->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr,
                                        BCRYPT_HASH_REUSABLE_FLAG),
          "BCryptOpenAlgorithmProvider");
    check(::BCryptCreateHash(m_context->algorithm, &m_context->hash, nullptr, 0, nullptr, 0,
                             BCRYPT_HASH_REUSABLE_FLAG),
          "BCryptCreateHash");
}

Sha256::~Sha256() = default;

void Sha256::update(std::span<const std::uint8_t> bytes) {
    // BCryptHashData takes at most 4 GiB - 1 at a time.
    while (!bytes.empty()) {
        const ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(bytes.size(), 1u << 30));
        check(::BCryptHashData(m_context->hash, const_cast<PUCHAR>(bytes.data()), chunk, 0),
              "BCryptHashData");
        bytes = bytes.subspan(chunk);
    }
}

Sha256::Digest Sha256::finish() {
    Digest digest{};
    check(::BCryptFinishHash(m_context->hash, digest.data(), static_cast<ULONG>(digest.size()), 0),
          "BCryptFinishHash");
    return digest;
}

}  // namespace hlx::firmware
