// The command line of a build without Qt: no painted pictures.
#include "cli/painted_picture.h"

namespace quillon::cli {

bool PaintedPicturesAvailable() {
    return false;
}

std::optional<std::string> PaintPicture(const Drawing&, PaintedFormat, std::string&) {
    return "This quillon-cli was built without Qt, so it writes charts only as SVG";
}

} // namespace quillon::cli
