// The particular study's summary file name, in a file of its own: the particular and the
// maximum study both name a "SummaryFileName", so one source cannot include both headers.
#include "particular/result_files.h"

#include <string>

namespace quillon {

std::string ParticularSummaryFileName() {
    return SummaryFileName;
}

} // namespace quillon
