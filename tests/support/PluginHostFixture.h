#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "standin/PluginLibrary.h"
#include "standin/SubstituteHost.h"
#include "support/HostTestSupport.h"

namespace Tamrin {
namespace Solvane {
namespace Test {

// The built plug-in loaded as the host loads it, with a fresh substitute host for each test; the plug-in is not set
// up until setUpEffect(). The plug-in host tests and the robustness tests start from here.
class PluginHostFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        library = std::make_unique<StandIn::PluginLibrary>(pluginPath());
        host = std::make_unique<StandIn::SubstituteHost>(library->entryPoint());
    }
    void TearDown() override
    {
        host.reset();
        library.reset();
    }
    void setUpEffect()
    {
        ASSERT_EQ(host->globalSetUp(), PF_Err_NONE);
        ASSERT_EQ(host->paramsSetUp(), PF_Err_NONE);
    }

    std::unique_ptr<StandIn::PluginLibrary> library;
    std::unique_ptr<StandIn::SubstituteHost> host;
};

} // namespace Test
} // namespace Solvane
} // namespace Tamrin
