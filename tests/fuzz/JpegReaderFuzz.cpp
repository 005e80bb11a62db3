// The JPEG reader on arbitrary bytes, checked as every image reader is (DecoderFuzz.h). The EXIF orientation and the
// CMYK and progressive paths are reached from the seeds.
#include <cstddef>
#include <cstdint>

#include "DecoderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return Tamrin::Solvane::Fuzz::fuzzDecoder(Tamrin::Solvane::Cli::decodeJpeg, data, size);
}
