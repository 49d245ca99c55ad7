// RC4, the stream cipher Jet uses to hide its file header and, in an encoded database, its pages.
// It protects nothing (the keys are fixed or stored in the file); the program needs it to read
// and write the header and the pages of a Jet file the way Jet itself does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace cs::jetfile {

// XORs the bytes with the RC4 key stream of the key, in place. Applying it twice restores them.
void Rc4Apply(std::span<const std::uint8_t> key, std::span<std::uint8_t> bytes);

}  // namespace cs::jetfile
