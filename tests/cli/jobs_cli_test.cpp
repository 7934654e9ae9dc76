// Several combinations computed at once write exactly what a serial run writes: every file
// of the data directory and the whole of stdout, byte for byte, for every study and both
// designs. The reference is the same command with --jobs 1 (the serial loop, whose output
// the golden files of the other command-line tests pin down). Only what changes from run
// to run anyway is masked: the Time field of the maximum study and the time of day of the
// surveys in its log.
#include "cli/commands.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

namespace quillon::cli {
namespace {

namespace fs = std::filesystem;

struct Output {
    int status = -1;
    std::string out, err;
    std::map<std::string, std::string> files; // name -> content
};

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The Time field closes a maximum summary line; survey lines carry the time of day.
std::string Masked(const std::string& text) {
    std::string s = std::regex_replace(text, std::regex(R"(\t ?-?\d+(\.\d+)?(\r?\n))"), "\tT$2");
    return std::regex_replace(s, std::regex(R"(\d\d:\d\d:\d\d)"), "hh:mm:ss");
}

Output RunWithJobs(std::vector<std::string> args, const std::string& jobs) {
    const std::string dir = testing::MakeTempDirectory("jobs-cli");
    args.insert(args.end(), {"--jobs", jobs, "--data-dir", dir});
    std::ostringstream out, err;
    Streams io{out, err, false};
    Output o;
    o.status = RunCli(args, io);
    o.out = out.str();
    o.err = err.str();
    for (const auto& entry : fs::directory_iterator(dir))
        o.files[entry.path().filename().string()] = ReadAll(entry.path());
    return o;
}

struct Case {
    const char* name;
    std::vector<std::string> args;
    bool maskTime; // the maximum study's Time field and survey times
};

TEST(JobsOption, EveryFileAndStdoutAsTheSerialRunWritesThem) {
    const Case cases[] = {
        {"particular, comparative trial, N and pi(col) vary",
         {"particular", "--n", "10 to 30 step 5", "--tests", "1, 4", "--pcol", ".1, .3, .5",
          "--prow", ".5"},
         false},
        {"particular, cross-sectional, MEN varies",
         {"particular", "--design", "cs", "--n", "12, 20, 16", "--tests", "2", "--pcol", ".2",
          "--prow", ".3", "--men", "0, 1, 5"},
         false},
        {"maximum, comparative trial, row 1 'all'",
         {"maximum", "--n", "8 - 12", "--row1", "all", "--tests", "1, 3", "--accuracy", ".01"},
         true},
        {"maximum, comparative trial, row 1 'overall' (carried across m)",
         {"maximum", "--n", "8 - 12", "--row1", "overall", "--tests", "1, 5", "--accuracy", ".01"},
         true},
        {"maximum, cross-sectional, tests and MEN vary",
         {"maximum", "--design", "cs", "--n", "6 - 9", "--tests", "1, 2", "--men", "0, 1",
          "--accuracy", ".01"},
         true},
        // stdout closes with the sample sizes, found from every combination at the end.
        {"power, comparative trial, N varies (sample sizes)",
         {"power", "--n", "10 to 60 step 10", "--p1", ".2", "--p2", ".6", "--tests", "1 - 7"},
         false},
        {"power, comparative trial, numbers in row 1 and p2 vary",
         {"power", "--n", "14, 20", "--row1", "5, .3", "--p1", ".1", "--p2", ".4, .5, .9",
          "--tests", "3, 1", "--men", "0, 1"},
         false},
        {"power, cross-sectional, p1 and MEN vary",
         {"power", "--design", "cs", "--n", "12, 20, 16", "--p1", ".1, .3", "--p2", ".6", "--row1",
          ".4", "--tests", "2, 5", "--men", "0, 1"},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Output serial = RunWithJobs(c.args, "1");
        ASSERT_EQ(serial.status, 0) << serial.err;
        ASSERT_FALSE(serial.files.empty());
        for (const char* jobs : {"2", "5"}) {
            SCOPED_TRACE(std::string("--jobs ") + jobs);
            const Output ahead = RunWithJobs(c.args, jobs);
            EXPECT_EQ(ahead.status, serial.status);
            EXPECT_EQ(ahead.err, serial.err);
            auto same = [&](const std::string& a, const std::string& b) {
                return c.maskTime ? Masked(a) == Masked(b) : a == b;
            };
            EXPECT_TRUE(same(ahead.out, serial.out)) << ahead.out << "\n---\n" << serial.out;
            ASSERT_EQ(ahead.files.size(), serial.files.size());
            for (const auto& [name, content] : serial.files) {
                SCOPED_TRACE(name);
                ASSERT_TRUE(ahead.files.count(name));
                EXPECT_TRUE(same(ahead.files.at(name), content));
            }
        }
    }
}

TEST(JobsOption, RefusesWhatIsNoNumberOfJobs) {
    for (const char* bad : {"0", "1.5", "257", "x"}) {
        SCOPED_TRACE(bad);
        std::ostringstream out, err;
        Streams io{out, err, false};
        EXPECT_EQ(RunCli({"particular", "--n", "10", "--jobs", bad}, io), 2);
        EXPECT_NE(err.str().find("--jobs must be a whole number from 1 to 256"), std::string::npos);
    }
}

} // namespace
} // namespace quillon::cli
