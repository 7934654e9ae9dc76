// Memory figures shared by the studies: what the machine can give a run, how a number of
// bytes reads in a message, and the one refusal text for a combination too large to hold.
//
// The refusal is decided before anything of the combination is computed or written, so a
// run never fails part way through with an exhausted machine.
#pragma once

#include "core/designs.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// Physical memory this process may reasonably use (the system's available memory), or
// nothing when it cannot be told.
std::optional<std::uint64_t> AvailableMemoryBytes();

// "1.5 GB": bytes in the largest unit that leaves at least 1, to two or three figures.
std::string BytesText(double bytes);

// The message refusing N of a design with `tables` sample tables: "N =... (comparative
// trial) has ... possible sample tables and <needs> about ... of memory, but only ... is
// available.  Nothing has been computed for it; choose a smaller N." `needs` is the verb
// phrase of the study ("needs", "the search needs"); without a figure of available memory
// `unavailableClause` follows the need instead.
std::string MemoryRefusalText(DesignCode design, std::int64_t N, double tables, double bytes,
                              std::optional<std::uint64_t> available, std::string_view needs,
                              std::string_view unavailableClause);

// The refusal of an enumeration of `tables` sample tables needing `bytes`: more tables than
// a table array can number (2^32 - 1), or more memory than is available; nothing when it
// fits. The text is MemoryRefusalText's for a study that "needs" the memory.
std::optional<std::string> EnumerationMemoryRefusal(DesignCode design, std::int64_t N,
                                                    std::uint64_t tables, std::uint64_t bytes,
                                                    std::optional<std::uint64_t> available);

} // namespace quillon
