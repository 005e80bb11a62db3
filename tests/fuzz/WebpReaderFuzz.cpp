// The WebP reader on arbitrary bytes, checked as every image reader is (DecoderFuzz.h).
#include <cstddef>
#include <cstdint>

#include "DecoderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return Tamrin::Solvane::Fuzz::fuzzDecoder(Tamrin::Solvane::Cli::decodeWebp, data, size);
}
