#include "core/memory.h"

#include "core/designs.h"
#include "core/numtext.h"
#include "core/tables.h"

#include <fstream>
#include <limits>
#include <locale>
#include <sstream>

namespace quillon {

std::optional<std::uint64_t> AvailableMemoryBytes() {
    // "MemAvailable:   5506284 kB" in the kernel's memory report.
    std::ifstream in("/proc/meminfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("MemAvailable:", 0) != 0)
            continue;
        std::istringstream fields(line.substr(13));
        std::uint64_t kilobytes = 0;
        if (fields >> kilobytes)
            return kilobytes * 1024;
        return std::nullopt;
    }
    return std::nullopt;
}

std::string BytesText(double bytes) {
    const char* units[] = {"bytes", "KB", "MB", "GB", "TB", "PB"};
    int u = 0;
    while (bytes >= 1024 && u < 5) {
        bytes /= 1024;
        ++u;
    }
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out.precision(bytes < 10 ? 2 : 3);
    out << bytes << ' ' << units[u];
    return out.str();
}

std::string MemoryRefusalText(DesignCode design, std::int64_t N, double tables, double bytes,
                              std::optional<std::uint64_t> available, std::string_view needs,
                              std::string_view unavailableClause) {
    std::string text = "N =" + PlainNumberText(static_cast<double>(N)) + " (" +
                       std::string(DesignOf(design).inSentence) + ") has " +
                       GeneralNumberText(tables) + " possible sample tables and " +
                       std::string(needs) + " about " + BytesText(bytes) + " of memory";
    if (available)
        text += ", but only " + BytesText(static_cast<double>(*available)) + " is available";
    else
        text += unavailableClause;
    text += ".  Nothing has been computed for it; choose a smaller N.";
    return text;
}

std::optional<std::string> EnumerationMemoryRefusal(DesignCode design, std::int64_t N,
                                                    std::uint64_t tables, std::uint64_t bytes,
                                                    std::optional<std::uint64_t> available) {
    const bool tooManyRows = tables > std::numeric_limits<std::uint32_t>::max();
    const bool tooBig = available && bytes > *available;
    if (!tooManyRows && !tooBig)
        return std::nullopt;
    return MemoryRefusalText(design, N, static_cast<double>(tables), static_cast<double>(bytes),
                             available, "needs", ", more than one evaluation can hold");
}

} // namespace quillon
