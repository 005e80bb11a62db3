#pragma once

#include <cstdio>
#include <string>

namespace Tamrin {
namespace Solvane {
namespace Cli {

// A file being written in the target's folder under a temporary name. It takes the
// target's name only when committed complete, replacing any file there; otherwise
// it is removed, so that no half-written file is ever left and an existing target
// is replaced only by a complete new one.
class TemporaryFile {
public:
    // Throws std::runtime_error naming the target when no temporary file can be made.
    explicit TemporaryFile(const std::string& target);
    ~TemporaryFile();

    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    std::FILE* file() { return file_; }
    const std::string& path() const { return path_; }

    // Flushes, syncs and closes the file and renames it over the target. Throws
    // std::runtime_error; the temporary file is removed then.
    void commit();

private:
    std::string target_;
    std::string path_;
    std::FILE* file_ = nullptr;
    bool committed_ = false;
};

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
