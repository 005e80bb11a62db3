#pragma once

#include "host/HostInterface.h"

namespace Tamrin {
namespace Solvane {

class LightShaftRenderer;
class StringTable;

// The process-wide objects of one load of the library, made and destroyed here
// only: the renderer, made when the library is loaded (its constructor makes no
// OpenGL call) and again when a set-up or a render finds it gone, and the string
// table, made at global set-up. Global set-down destroys both, the renderer with a
// plug-in context current. The holder itself is never destroyed: at unload no
// context is current to delete the renderer's OpenGL objects in.
class PluginState {
public:
    // The renderer, made first where there is none.
    static LightShaftRenderer& renderer();
    static void destroyRenderer();

    // The table of this load's language; null before global set-up and after set-down.
    static const StringTable* strings();
    // Replaces the table with one for the host's language. The old table goes
    // first; a table whose construction throws leaves none.
    static void makeStrings(PF_InData* in_data);
    static void destroyStrings();
};

} // namespace Solvane
} // namespace Tamrin
