// A check for damage that decoding alone cannot see: the format has no
// checksum, and a damaged stream may still yield decodedSize bytes, only
// from fewer bits than it holds. A sound stream's last symbol ends in its
// last byte or the one before (the encoder's final flush), so a stream
// whose last kTailProbe bytes hold no bit of any symbol is damaged.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace archive {

constexpr std::uint32_t kTailProbe = 4;

// A reason when the stream of `block`, an entry block that Decode took
// with LzhufOk, ended before its last kTailProbe bytes: `streamEnd` is the
// decoder's account of where its last symbol ended. Nothing otherwise, for
// a tail of zero bytes (which a stream may end in), or for streams of
// kTailProbe bytes or fewer.
std::optional<std::string> CheckStreamEnd(std::span<const std::uint8_t> block,
                                          unsigned long streamEnd);

} // namespace archive
