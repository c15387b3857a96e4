#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace velmora {

// A SHA-256 digest.
using Sha256Digest = std::array<std::uint8_t, 32>;

// The SHA-256 digest of `data`.
Sha256Digest sha256(std::span<const std::uint8_t> data);

// `digest` as 64 lower-case hexadecimal digits.
std::string hexDigest(const Sha256Digest& digest);

}  // namespace velmora
