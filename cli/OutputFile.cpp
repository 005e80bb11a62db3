#include "cli/OutputFile.h"

#include <stdexcept>

#include "cli/System.h"
#include "standin/Descriptors.h"
#include "standin/DiagnosticsToStderr.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

OutputFile::OutputFile(const std::string& name) : name_(name)
{
    // /dev/stdout and its kin are the caller's streams, written as `-` writes them, never
    // the descriptor that carries the plug-in's diagnostics meanwhile.
    const int stream = System::standardStreamNamed(name);
    if (stream >= 0) {
        direct_ = true;
        target_ = path_ = name;
        const int descriptor = StandIn::Descriptors::duplicate(StandIn::DiagnosticsToStderr::callerDescriptor(stream));
        file_ = descriptor >= 0 ? StandIn::Descriptors::binaryWriteStream(descriptor) : nullptr;
        if (!file_) {
            if (descriptor >= 0) {
                StandIn::Descriptors::close(descriptor);
            }
            throw std::runtime_error(name + ": cannot open for writing: " + System::errorText());
        }
        return;
    }
    const System::OutputTarget target = System::resolveOutput(name);
    target_ = target.path;
    direct_ = target.special;
    if (direct_) {
        path_ = target_;
        file_ = System::openForWriting(target_);
        if (!file_) {
            throw std::runtime_error(name + ": cannot open for writing: " + System::errorText());
        }
        return;
    }
    {
        const System::RegisteringFileInFlight registering;
        file_ = System::createTemporaryBeside(target_, path_);
        if (file_) {
            inFlight_ = System::registerFileInFlight(path_);
        }
    }
    if (!file_) {
        const std::string reason = System::errorText();
        const std::string folder = System::missingFolderOf(target_);
        if (!folder.empty()) {
            throw std::runtime_error(name + ": cannot write: the folder " + folder + " does not exist");
        }
        throw std::runtime_error(name + ": cannot create a temporary file beside it: " + reason);
    }
}

OutputFile::~OutputFile()
{
    if (file_) {
        std::fclose(file_);
    }
    if (!committed_ && !direct_) {
        std::remove(path_.c_str());
    }
    System::releaseFileInFlight(inFlight_);
}

void OutputFile::commit()
{
    const bool flushed = std::fflush(file_) == 0 && !std::ferror(file_);
    // A device or a pipe has nothing to sync; a regular file must be on the disk before its name is.
    const bool synced = flushed && (direct_ || System::syncToDisk(file_));
    const std::string reason = System::errorText();
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!synced || !closed) {
        throw std::runtime_error(name_ + ": cannot write: " + (synced ? System::errorText() : reason));
    }
    if (!direct_ && !System::replaceFile(path_, target_)) {
        throw std::runtime_error(name_ + ": cannot replace the file: " + System::errorText());
    }
    committed_ = true;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
