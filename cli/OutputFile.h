#pragma once

#include <cstdio>
#include <string>

namespace Tamrin {
namespace Solvane {
namespace Cli {

// The file an output name is written to. A regular file, or a name that does not
// exist yet, is written under a temporary name in its folder and takes the name only
// when committed complete, keeping the permissions of the file it replaces; a failure
// or a signal removes the temporary file, so that no half-written file is ever left
// and an existing file is replaced only by a complete new one. A symbolic link is
// followed: the file it names is replaced, the link stays. A special file (a FIFO, a
// device) cannot be replaced and is written directly.
class OutputFile {
public:
    // Throws std::runtime_error naming the output and the system's reason.
    explicit OutputFile(const std::string& name);
    ~OutputFile();

    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    std::FILE* file() { return file_; }
    // Whether the bytes go straight to the named file (a special file).
    bool direct() const { return direct_; }

    // Flushes, syncs and closes the file and renames it over the target. Throws
    // std::runtime_error with the system's reason; the temporary file is removed then.
    void commit();

private:
    std::string name_;   // as the user gave it, for messages
    std::string target_; // links resolved
    std::string path_;   // the temporary file, or the target itself when direct
    std::FILE* file_ = nullptr;
    bool direct_ = false;
    bool committed_ = false;
    int inFlight_ = -1;
};

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
