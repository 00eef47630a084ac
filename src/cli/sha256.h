#pragma once
// SHA-256 of a byte block, as lower-case hex (for `mrqt dump`).

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace marquetor::cli {

std::array<std::uint8_t, 32> Sha256(std::span<const std::uint8_t> data);
std::string Sha256Hex(std::span<const std::uint8_t> data);

}  // namespace marquetor::cli
