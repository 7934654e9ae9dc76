#include "cli/commands.h"

#include <ostream>

namespace quillon::cli {

int RunMaximum(const std::vector<std::string>& /*args*/, Streams& io) {
    io.err << "quillon-cli maximum: not available yet\n";
    return 1;
}

} // namespace quillon::cli
