#pragma once

namespace Tamrin {
namespace Solvane {

class LightShaftRenderer;
class StringTable;

// The process-wide objects of one load of the library. The renderer is made by a
// static initialiser when the library is loaded (its constructor makes no OpenGL
// call); the string table at global set-up. Both are destroyed at global set-down.
extern LightShaftRenderer* gRenderer;
extern StringTable* gStringTable;

} // namespace Solvane
} // namespace Tamrin
