#include "support/RenderTargetFixture.h"

#include <glbinding/gl/gl.h>

#include "support/GLTestContext.h"

using namespace gl;

namespace Tamrin {
namespace Solvane {
namespace Test {

Rgba readPixel(int x, int y)
{
    Rgba pixel{};
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_FLOAT, pixel.data());
    return pixel;
}

void expectNear(const Rgba& actual, const Rgba& expected, float tolerance)
{
    for (std::size_t c = 0; c < 4; ++c) {
        EXPECT_NEAR(actual[c], expected[c], tolerance) << "channel " << c;
    }
}

void RenderTargetFixture::SetUp()
{
    ASSERT_TRUE(makeTestContextCurrent());
    target.release();
}

void RenderTargetFixture::TearDown()
{
    ASSERT_TRUE(makeTestContextCurrent());
    target.release();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
