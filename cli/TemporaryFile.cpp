#include "cli/TemporaryFile.h"

#include <stdexcept>

#include "cli/System.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

TemporaryFile::TemporaryFile(const std::string& target) : target_(target)
{
    file_ = System::createTemporaryBeside(target, path_);
    if (!file_) {
        throw std::runtime_error(target + ": cannot create a temporary file beside it: " + System::errorText());
    }
}

TemporaryFile::~TemporaryFile()
{
    if (file_) {
        std::fclose(file_);
    }
    if (!committed_) {
        std::remove(path_.c_str());
    }
}

void TemporaryFile::commit()
{
    const bool flushed = std::fflush(file_) == 0 && !std::ferror(file_);
    const bool synced = flushed && System::syncToDisk(file_);
    const std::string reason = System::errorText();
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!synced || !closed) {
        throw std::runtime_error(target_ + ": cannot write: " + (synced ? System::errorText() : reason));
    }
    if (!System::replaceFile(path_, target_)) {
        throw std::runtime_error(target_ + ": cannot replace the file: " + System::errorText());
    }
    committed_ = true;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
