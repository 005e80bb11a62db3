#pragma once

namespace Tamrin {
namespace Solvane {
namespace Test {

// Makes a plug-in thread context (OpenGL 3.3 core, sharing with the shared context, which is created once per
// process, or again after a test tore the contexts down) current on the calling thread, through
// setUpSharedContext()/contextForThisThread()/makeCurrent(). Returns false when no OpenGL is available.
// Cheap after the first call on a thread: one registry lookup and one make-current.
bool makeTestContextCurrent();

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
