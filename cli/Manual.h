#pragma once

#include <string>

namespace Tamrin {
namespace Solvane {
namespace Cli {

// The man page and the bash completion of solvane, made at build time from the command table (Commands.cpp) and the
// render options (RenderOptions.cpp), the same tables that `solvane help` prints and the parser reads, so that the
// three cannot disagree. Each takes its hand-written frame (cli/solvane.1.in, cli/solvane.bash-completion.in) and
// fills in its @NAME@ places:
//   man page:   @SYNOPSIS@, @COMMANDS@, @EFFECT_OPTIONS@, @JOB_OPTIONS@ (roff);
//   completion: @COMMANDS@, @GLOBAL_OPTIONS@, @RENDER_OPTIONS@, @VALUE_OPTIONS@, @PARAMS_OPTIONS@ (word lists; the
//               value options as a pattern of a bash `case`).
// Throws std::invalid_argument for a place it does not know or one left open.
std::string manualPage(const std::string& frame);
std::string bashCompletion(const std::string& frame);

// Text as roff shows it literally: minus signs, backslashes, and a leading '.' or '\''.
std::string roffText(const std::string& text);

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
