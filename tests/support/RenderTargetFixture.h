#pragma once

#include <gtest/gtest.h>

#include <array>

#include "gpu/OpenglRenderTarget.h"

namespace Tamrin {
namespace Solvane {
namespace Test {

using Rgba = std::array<float, 4>;

// The 8-bit layers hold colours to within one step.
constexpr float kByteStep = 1.0f / 255.0f;

// The pixel at (x, y) of the bound read framebuffer's first colour attachment, as floats.
Rgba readPixel(int x, int y);

void expectNear(const Rgba& actual, const Rgba& expected, float tolerance);

// Tests of the process-wide render target: each starts and ends with a test
// context current on the test's thread and the target's objects released.
class RenderTargetFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    OpenglRenderTarget& target = OpenglRenderTarget::instance();
};

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
