#include "renderer/FullScreenQuad.h"

#include <glbinding/gl/gl.h>

using namespace gl;

namespace Tamrin {
namespace Solvane {

void makeQuadObjects(PerContextName& vertexArray, GLuint& vertexBuffer)
{
    if (vertexArray.get() != 0) {
        return;
    }
    GLuint name = 0;
    glGenVertexArrays(1, &name);
    vertexArray.set(name);
    glBindVertexArray(name);
    if (vertexBuffer == 0) {
        glGenBuffers(1, &vertexBuffer);
        glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
        glBufferData(GL_ARRAY_BUFFER, sizeof(kFullScreenQuad), kFullScreenQuad, GL_STATIC_DRAW);
    }
}

} // namespace Solvane
} // namespace Tamrin
