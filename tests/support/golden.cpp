#include "support/golden.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

namespace quillon::testing {

namespace fs = std::filesystem;

std::string TestDataPath(std::string_view relative) {
    return (fs::path(QUILLON_TEST_DATA) / fs::path(relative)).string();
}

namespace {

std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    std::string current;
    for (char ch : text) {
        current += ch;
        if (ch == '\n') {
            lines.push_back(current);
            current.clear();
        }
    }
    if (!current.empty())
        lines.push_back(current);
    return lines;
}

struct TempDirs {
    std::vector<fs::path> dirs;
    ~TempDirs() {
        std::error_code ec;
        for (const auto& d : dirs)
            fs::remove_all(d, ec);
    }
};
TempDirs& Temps() {
    static TempDirs temps;
    return temps;
}

} // namespace

void ExpectMatchesGolden(std::string_view actual, std::string_view name) {
    const fs::path path = fs::path(QUILLON_TEST_DATA) / "golden" / fs::path(name);
    const char* update = std::getenv("QUILLON_UPDATE_GOLDEN");
    if (update != nullptr && std::string_view(update) == "1") {
        fs::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary);
        out << actual;
        return;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in.good()) << "missing golden file " << path
                           << " (run with QUILLON_UPDATE_GOLDEN=1 to create it)";
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string expected = buffer.str();
    if (expected == actual)
        return;
    const auto want = Lines(expected);
    const auto got = Lines(actual);
    for (std::size_t i = 0; i < std::max(want.size(), got.size()); ++i) {
        const std::string w = i < want.size() ? want[i] : "<end of file>";
        const std::string g = i < got.size() ? got[i] : "<end of file>";
        if (w != g) {
            ADD_FAILURE() << "golden " << name << " differs at line " << (i + 1)
                          << "\n  expected: [" << w << "]\n  actual:   [" << g << "]";
            return;
        }
    }
}

std::string MakeTempDirectory(std::string_view prefix) {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path dir = fs::temp_directory_path() /
                       (std::string(prefix) + "-" + std::to_string(rd()) + std::to_string(attempt));
        std::error_code ec;
        if (fs::create_directory(dir, ec)) {
            Temps().dirs.push_back(dir);
            return dir.string();
        }
    }
    ADD_FAILURE() << "cannot create a temporary directory";
    return {};
}

} // namespace quillon::testing
