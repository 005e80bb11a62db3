// solvane-make-manual: run by the build, it writes solvane's man page or bash completion from its frame and the
// tables of commands and options (Manual.h). Usage: solvane-make-manual man|completion FRAME OUT
#include <cstdio>
#include <exception>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "cli/Manual.h"

int main(int argc, char** argv)
{
    try {
        const std::string kind = argc == 4 ? argv[1] : "";
        if (kind != "man" && kind != "completion") {
            throw std::invalid_argument("usage: solvane-make-manual man|completion FRAME OUT");
        }
        std::ifstream in(argv[2], std::ios::binary);
        std::ostringstream frame;
        frame << in.rdbuf();
        if (!in) {
            throw std::runtime_error(std::string(argv[2]) + ": cannot read");
        }
        const std::string text = kind == "man" ? Tamrin::Solvane::Cli::manualPage(frame.str())
                                               : Tamrin::Solvane::Cli::bashCompletion(frame.str());
        // Written under another name first, so that a failed run leaves no half-written file for the build to
        // take as made.
        const std::string temporary = std::string(argv[3]) + ".part";
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            out << text;
            out.close();
            if (!out) {
                throw std::runtime_error(temporary + ": cannot write");
            }
        }
        std::remove(argv[3]);
        if (std::rename(temporary.c_str(), argv[3]) != 0) {
            throw std::runtime_error(std::string(argv[3]) + ": cannot rename " + temporary + " to it");
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "solvane-make-manual: %s\n", e.what());
        return 1;
    }
}
