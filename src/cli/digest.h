#pragma once
// SHA-256 of a byte block as lower-case hex, from the system's crypto library (nettle).

#include <cstdint>
#include <span>
#include <string>

namespace marquetor::cli {

std::string Sha256Hex(std::span<const std::uint8_t> data);

}  // namespace marquetor::cli
