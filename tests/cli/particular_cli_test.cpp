// quillon-cli particular, run in-process on temporary data directories (and once as the
// real program). The stdout golden has the date field of each summary line replaced by
// DATE; update it with QUILLON_UPDATE_GOLDEN=1 (see support/golden.h).
#include "cli/commands.h"
#include "core/files.h"
#include "particular/comparison.h"
#include "particular/result_files.h"
#include "study/study_texts.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace quillon {
namespace {

namespace fs = std::filesystem;

struct CliResult {
    int status = 0;
    std::string out, err;
};

CliResult RunParticularCli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    cli::Streams io{out, err, false};
    const int status = cli::RunParticular(args, io);
    CliResult result;
    result.status = status;
    result.out = std::move(out).str();
    result.err = std::move(err).str();
    return result;
}

// Summary lines with their date (the first field) replaced, so the output can be compared
// whatever the day.
std::string WithoutDates(const std::string& text) {
    std::string out;
    for (const std::string& line : SplitLines(text)) {
        const std::size_t tab = line.find('\t');
        if (line.rfind("Date\t", 0) != 0 && tab != std::string::npos)
            out += "DATE" + line.substr(tab);
        else
            out += line;
        out += '\n';
    }
    return out;
}

TEST(ParticularCli, PrintsHeadingAndEverySummaryLine) {
    const std::string dir = testing::MakeTempDirectory("cli-particular");
    const CliResult r =
        RunParticularCli({"--n", "10, 12", "--tests", "1, 4", "--pcol", ".3", "--prow", ".5",
                          "--men", "1", "--alpha", ".1", "--data-dir", dir});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    testing::ExpectMatchesGolden(WithoutDates(r.out), "particular/cli_summary_stdout.txt");
    // The same lines went to the summary file (with CRLF ends).
    const std::string file = *ReadTextFile(fs::path(dir) / ParticularSummaryFileName);
    EXPECT_EQ(WithoutDates(file), WithoutDates(r.out));
    EXPECT_TRUE(fs::exists(fs::path(dir) / ParticularResultsFileName));
}

TEST(ParticularCli, CrossSectionalAndSummaryOnly) {
    const std::string dir = testing::MakeTempDirectory("cli-particular-cs");
    const CliResult r =
        RunParticularCli({"--n", "6", "--design", "cs", "--prow", ".3", "--interval", ".01",
                          "--tests", "7", "--summary-only", "--data-dir", dir});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = SplitLines(r.out);
    ASSERT_EQ(lines.size(), 2u);
    const std::vector<std::string> fields = SplitTabs(lines[1]);
    ASSERT_EQ(fields.size(), 14u);
    EXPECT_EQ(fields[1], " 1");
    EXPECT_EQ(fields[4], " .3");
    EXPECT_EQ(fields[6], " .01");
    EXPECT_FALSE(fs::exists(fs::path(dir) / ParticularResultsFileName));
}

TEST(ParticularCli, RefusedValuesExitWithStatusTwo) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"--n", "3"},
         "The value  3 for variable 'Total number' is less than the minimum value allowed of 4.\n"},
        {{"--n", "10.5"}, " 10.5 is not an integer\n"},
        {{"--n", "20", "--prow", "5.5"}, " 5.5 is not an integer\n"},
        {{"--n", "20", "--prow", "11"},
         "The value ' 11' is invalid.  For 'Pop. prop. / number in row 1', you must enter a "
         "decimal up to 0.5, or an integer of up to half the total number.\n"},
        {{"--n", "20", "--mmt", "0"},
         "The value  0 for variable 'Minimum marginal total' is less than the minimum value "
         "allowed of 1.\n"},
    };
    for (const Case& c : cases) {
        const std::string dir = testing::MakeTempDirectory("cli-particular-refused");
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--data-dir", dir});
        const CliResult r = RunParticularCli(args);
        EXPECT_EQ(r.status, 2) << c.message;
        EXPECT_EQ(r.err, c.message);
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(fs::is_empty(dir)) << c.message;
    }
}

TEST(ParticularCli, UsageErrors) {
    EXPECT_EQ(RunParticularCli({}).status, 2);
    EXPECT_EQ(RunParticularCli({"--tests", "1"}).status, 2);
    EXPECT_EQ(RunParticularCli({"--n", "10", "--design", "xy"}).status, 2);
    EXPECT_EQ(RunParticularCli({"--n", "10", "--bogus"}).status, 2);
    EXPECT_EQ(RunParticularCli({"--n"}).status, 2);
    const CliResult help = RunParticularCli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--summary-only"), std::string::npos);
}

TEST(ParticularCli, ChartOfEarlierData) {
    const std::string dir = testing::MakeTempDirectory("cli-particular-star");
    const CliResult none = RunParticularCli({"--n", "*", "--data-dir", dir});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, std::string(NoDataMessage) + "\n");

    ASSERT_EQ(RunParticularCli({"--n", "12, 10", "--tests", "2", "--data-dir", dir}).status, 0);
    const CliResult chart = RunParticularCli({"--n", "*", "--tests", "2", "--data-dir", dir});
    EXPECT_EQ(chart.status, 0) << chart.err;
    const std::vector<std::string> lines = SplitLines(chart.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "N\tProp sig.\tseries");
    EXPECT_EQ(lines[1].substr(0, 3), "12\t");
    EXPECT_EQ(lines[2].substr(0, 3), "10\t");

    const CliResult excess =
        RunParticularCli({"--n", "*", "--tests", "2", "--excess", "--data-dir", dir});
    EXPECT_EQ(SplitLines(excess.out).at(0), "N\tMax. dif.\tseries");

    // At a nominal level of 0 the chart still shows the actual Type I error.
    ASSERT_EQ(RunParticularCli({"--n", "12, 10", "--tests", "2", "--alpha", "0", "--data-dir", dir})
                  .status,
              0);
    const CliResult atZero =
        RunParticularCli({"--n", "*", "--tests", "2", "--alpha", "0", "--data-dir", dir});
    EXPECT_EQ(SplitLines(atZero.out).at(0), "N\tProp sig.\tseries");
}

TEST(ParticularCli, CompareTwoTests) {
    const std::string dir = testing::MakeTempDirectory("cli-particular-compare");
    const CliResult r =
        RunParticularCli({"--n", "10, 20", "--tests", "1, 5", "--compare", "--data-dir", dir});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(
        r.out.find("Possible sample tables significant by the two tests:\nTotal tables:  36\n"),
        std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Total tables:  121\n"), std::string::npos) << r.out;
    const std::vector<std::string> lines =
        SplitLines(*ReadTextFile(fs::path(dir) / ComparisonsFileName));
    EXPECT_EQ(lines.size(), 4u);
    EXPECT_FALSE(fs::exists(fs::path(dir) / ParticularSummaryFileName));
    // Without --compare the question is answered No: the usual summary lines.
    const CliResult no = RunParticularCli({"--n", "10", "--tests", "1, 5", "--data-dir", dir});
    EXPECT_EQ(SplitLines(no.out).size(), 3u);
}

TEST(ParticularCli, ChartFile) {
    const std::string dir = testing::MakeTempDirectory("cli-particular-chart");
    const fs::path svg = fs::path(dir) / "chart.svg";
    const CliResult r =
        RunParticularCli({"--n", "10, 12", "--chart", svg.string(), "--data-dir", dir});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::optional<std::string> text = ReadTextFile(svg);
    ASSERT_TRUE(text.has_value());
    EXPECT_NE(text->find("<svg"), std::string::npos);

    // A name promising a format the command line does not write is refused before
    // anything is computed.
    const std::string other = testing::MakeTempDirectory("cli-particular-chart-gif");
    const CliResult gif =
        RunParticularCli({"--n", "10, 12", "--chart", (fs::path(other) / "chart.gif").string(),
                          "--data-dir", other});
    EXPECT_EQ(gif.status, 2);
    EXPECT_NE(gif.err.find("does not end in .svg, .png or .pdf"), std::string::npos) << gif.err;
    EXPECT_TRUE(fs::is_empty(other));

    // One point: no summary chart is due, so no file, and stderr says so.
    const fs::path single = fs::path(dir) / "single.svg";
    const CliResult one =
        RunParticularCli({"--n", "10", "--chart", single.string(), "--data-dir", dir});
    EXPECT_EQ(one.status, 0);
    EXPECT_FALSE(fs::exists(single));
    EXPECT_NE(one.err.find("single.svg"), std::string::npos) << one.err;
}

TEST(ParticularCli, UnwritableDataDirectory) {
    const std::string base = testing::MakeTempDirectory("cli-particular-unwritable");
    std::ofstream(fs::path(base) / "file") << "x";
    const std::string dir = (fs::path(base) / "file" / "Quillon").string();
    const CliResult r = RunParticularCli({"--n", "10", "--data-dir", dir});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(dir), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(ParticularCli, RealProgramExitStatus) {
    const std::string dir = testing::MakeTempDirectory("cli-particular-program");
    const std::string command = std::string(QUILLON_CLI_PATH) + " particular --n 3 --data-dir '" +
                                dir + "' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

} // namespace
} // namespace quillon
