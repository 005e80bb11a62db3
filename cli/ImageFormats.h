#pragma once

#include <string>
#include <vector>

namespace Tamrin {
namespace Solvane {
namespace Cli {

// The image formats that solvane knows by their file name extensions, and which of them it writes. An output name
// whose extension names a format it does not write is refused before anything is rendered: writing PNG bytes under
// another format's name leaves a file that every other program misreads.
struct ImageFormat {
    const char* name;       // as a user knows it: "PNG", "JPEG"
    const char* extensions; // lower case, without the dot, separated by spaces; the first is the usual one
    bool written;           // solvane writes this format
};

// Every known format: the written ones first, in the order they are listed to a user.
const std::vector<ImageFormat>& imageFormats();

// The format the file name's extension names (letters in either case), or null: no extension, or one that names no
// known image format (such a name is written as PNG, as it always was).
const ImageFormat* imageFormatOfName(const std::string& fileName);

// The formats solvane writes, for messages: "PNG (.png)".
std::string writtenFormatsText();

// Throws std::invalid_argument when the output name's extension names a format that solvane does not write.
void checkOutputFormat(const std::string& fileName);

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
