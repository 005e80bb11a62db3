#include "cli/TextEncoding.h"

#include "cli/System.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

std::string gbkToUtf8(const std::string& gbk)
{
    bool ascii = true;
    for (unsigned char c : gbk) {
        ascii = ascii && c < 0x80;
    }
    return ascii ? gbk : System::gbkToUtf8(gbk);
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
