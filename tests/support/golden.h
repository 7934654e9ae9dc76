// Golden files: expected outputs kept under tests/data/golden. A test compares its output
// byte for byte; to accept a deliberate change, run the test program with
// QUILLON_UPDATE_GOLDEN=1 in the environment, which rewrites the files, and review the
// difference with git before committing it.
#pragma once

#include <string>
#include <string_view>

namespace quillon::testing {

// Path of a file under tests/data.
std::string TestDataPath(std::string_view relative);

// Compares `actual` with tests/data/golden/<name>; on a mismatch reports the first
// differing line of both. With QUILLON_UPDATE_GOLDEN=1 writes `actual` there instead.
void ExpectMatchesGolden(std::string_view actual, std::string_view name);

// A fresh empty directory under the system's temporary directory, removed at exit.
std::string MakeTempDirectory(std::string_view prefix);

} // namespace quillon::testing
