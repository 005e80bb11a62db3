#include "host/SuiteHolder.h"

namespace Tamrin {
namespace Solvane {

SuiteHolder::SuiteHolder(const PF_InData* in_data, const char* name, A_long version)
    : basic_(in_data ? in_data->pica_basicP : nullptr), name_(name), version_(version)
{
    if (!basic_ || !basic_->AcquireSuite || basic_->AcquireSuite(name_, version_, &suite_) != 0 || !suite_) {
        throw kSuiteMissing;
    }
}

SuiteHolder::~SuiteHolder()
{
    if (basic_->ReleaseSuite) {
        basic_->ReleaseSuite(name_, version_);
    }
}

} // namespace Solvane
} // namespace Tamrin
