#pragma once

#include <cstdint>

#include "host/HostInterface.h"

namespace Tamrin {
namespace Solvane {

// Holds one host suite for the length of a scope: acquires it by name and version
// through the host's SPBasicSuite, throws the integer 13 when the host refuses,
// and releases it with the same name and version when the scope ends, also while
// an exception passes through.
class SuiteHolder {
public:
    static constexpr int kSuiteMissing = 13;

    SuiteHolder(const PF_InData* in_data, const char* name, A_long version);
    ~SuiteHolder();

    SuiteHolder(const SuiteHolder&) = delete;
    SuiteHolder& operator=(const SuiteHolder&) = delete;

    template <typename Suite>
    const Suite* get() const
    {
        return static_cast<const Suite*>(suite_);
    }

private:
    SPBasicSuite* basic_;
    const char* name_;
    A_long version_;
    const void* suite_ = nullptr;
};

} // namespace Solvane
} // namespace Tamrin
