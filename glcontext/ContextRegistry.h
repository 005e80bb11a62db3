#pragma once

namespace Tamrin {
namespace Solvane {

class AEOpenGLContext;

// The process-wide contexts: one shared context made at global set-up and one
// thread context per host thread that renders, all sharing objects.

// Creates the shared context and stores it; a fault leaves it null and passes on.
void setUpSharedContext();

// The shared context, or null.
AEOpenGLContext* sharedContext();

// The calling thread's context, created on its first call (under the registry lock).
AEOpenGLContext* contextForThisThread();

// Destroys every thread context in ascending slot order, then the shared context.
void tearDownContexts();

} // namespace Solvane
} // namespace Tamrin
