#pragma once

#include <string>

namespace Tamrin {
namespace Solvane {
namespace Cli {

// GBK (code page 936) bytes, as the plug-in hands Chinese texts to the host, as UTF-8
// for the terminal. Bytes that do not convert are shown as '?'.
std::string gbkToUtf8(const std::string& gbk);

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
