#include "cli/digest.h"

#include <nettle/sha2.h>

namespace marquetor::cli {

std::string Sha256Hex(std::span<const std::uint8_t> data) {
    sha256_ctx context;
    sha256_init(&context);
    sha256_update(&context, data.size(), data.data());
    std::uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context, sizeof digest, digest);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text(2 * sizeof digest, '0');
    for (std::size_t i = 0; i < sizeof digest; ++i) {
        text[2 * i] = kHex[digest[i] >> 4];
        text[2 * i + 1] = kHex[digest[i] & 15];
    }
    return text;
}

}  // namespace marquetor::cli
