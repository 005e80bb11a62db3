#pragma once

// The Windows API for the Windows sources of the project, without the rarely used
// parts of <windows.h> and without its min and max macros, which break std::min
// and std::max.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
