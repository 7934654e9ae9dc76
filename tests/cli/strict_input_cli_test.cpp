// The command line reads every value whole: what it cannot read is refused with status 2,
// a message quoting the option and the text typed, and nothing written. Each case below
// used to run (status 0) on a value the user did not type.
#include "cli/commands.h"
#include "core/files.h"
#include "support/cli_run.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace quillon::cli {
namespace {

namespace fs = std::filesystem;

CliResult RunQuillon(std::vector<std::string> args, const std::string& dataDir) {
    args.push_back("--data-dir");
    args.push_back(dataDir);
    return RunCliCaptured(args);
}

TEST(StrictInput, RefusedValuesAndTheirMessages) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        const char* err; // the whole of stderr
    };
    const Case cases[] = {
        {"exponent text after a number",
         {"power", "--n", "20", "--p1", "5e", "--p2", ".5"},
         "quillon-cli power: The value \"5e\" given for --p1 cannot be read: \"e\" is left over "
         "after a value.\n"},
        {"blank inside N",
         {"particular", "--n", "10 20"},
         "quillon-cli particular: The value \"10 20\" given for --n cannot be read: there is a "
         "blank inside the number \"10 20\" (values are separated by commas).\n"},
        {"semicolon",
         {"particular", "--n", "10;20"},
         "quillon-cli particular: The value \"10;20\" given for --n cannot be read: \";20\" is "
         "left over after a value.\n"},
        {"not a number",
         {"particular", "--n", "abc"},
         "quillon-cli particular: The value \"abc\" given for --n cannot be read: \"abc\" is not "
         "a number.\n"},
        {"nan proportion",
         {"particular", "--n", "20", "--pcol", "nan"},
         "quillon-cli particular: The value \"nan\" given for --pcol cannot be read: \"nan\" is "
         "not a number.\n"},
        {"inf alpha",
         {"maximum", "--n", "10", "--alpha", "inf"},
         "quillon-cli maximum: The value \"inf\" given for --alpha cannot be read: \"inf\" is "
         "not a number.\n"},
        {"empty target",
         {"power", "--n", "20", "--p1", ".2", "--p2", ".5", "--target", ""},
         "quillon-cli power: The value \"\" given for --target cannot be read: there is no "
         "value.\n"},
        {"list for one value",
         {"particular", "--n", "20", "--alpha", ".01,.05"},
         "quillon-cli particular: The value \".01,.05\" given for --alpha cannot be read: one "
         "value is expected, not a list or a range.\n"},
        {"list for the row-1 number of a search",
         {"maximum", "--n", "10", "--row1", "0.5,0.25"},
         "quillon-cli maximum: The value \"0.5,0.25\" given for --row1 cannot be read: one "
         "value is expected, not a list or a range.\n"},
        {"range giving nothing",
         {"particular", "--n", "20 - 10"},
         "quillon-cli particular: The value \"20 - 10\" given for --n cannot be read: the range "
         "\"20 - 10\" gives no value.\n"},
        {"jobs with text after it", {"particular", "--n", "20", "--jobs", "2x"}, nullptr},
        // Read whole, then refused by the study as values the user typed.
        {"negative proportion",
         {"particular", "--n", "20", "--pcol", "-0.1"},
         "The value -.1 for variable 'Population proportion in column 1' is less than the "
         "minimum value allowed of 0.\n"},
        {"search row-1 number not whole",
         {"maximum", "--n", "10", "--row1", "1.5"},
         " 1.5 is not an integer\n"},
        {"search MMT above the others' limit",
         {"maximum", "--n", "10", "--mmt", "10001"},
         "The value 10001 for variable 'Minimum marginal total' is greater than the maximum "
         "value allowed of 10000.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = testing::MakeTempDirectory("cli-strict");
        const CliResult r = RunQuillon(c.args, dir);
        EXPECT_EQ(r.status, 2);
        if (c.err) {
            EXPECT_EQ(r.err, c.err);
        }
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(fs::is_empty(dir));
    }
}

TEST(StrictInput, RepeatedOptionIsRefused) {
    const std::string dir = testing::MakeTempDirectory("cli-strict-twice");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"particular", "--n", "20", "--alpha", ".01", "--alpha", ".05"},
          {"maximum", "--n", "10", "--n", "12"},
          {"power", "--n", "20", "--p1", ".2", "--p2", ".5", "--summary-only", "--summary-only"}}) {
        const CliResult r = RunQuillon(args, dir);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_NE(r.err.find("is given more than once"), std::string::npos) << r.err;
    }
    EXPECT_TRUE(fs::is_empty(dir));
}

// Exponent form is a number, not a range: p1 = 5e-2 runs as p1 = .05.
TEST(StrictInput, ExponentFormRunsAsItsValue) {
    const std::string a = testing::MakeTempDirectory("cli-strict-exp");
    const std::string b = testing::MakeTempDirectory("cli-strict-dec");
    const CliResult exponent =
        RunQuillon({"power", "--n", "20", "--p1", "5e-2", "--p2", "5E-1", "--summary-only"}, a);
    const CliResult decimal =
        RunQuillon({"power", "--n", "20", "--p1", ".05", "--p2", ".5", "--summary-only"}, b);
    ASSERT_EQ(exponent.status, 0) << exponent.err;
    ASSERT_EQ(decimal.status, 0) << decimal.err;
    EXPECT_EQ(exponent.out.substr(exponent.out.find('\n')),
              decimal.out.substr(decimal.out.find('\n')));
}

// The record of a search states the row-1 value the search used.
TEST(StrictInput, SearchRecordStatesTheRowValueComputed) {
    const std::string dir = testing::MakeTempDirectory("cli-strict-row1");
    const CliResult r =
        RunQuillon({"maximum", "--n", "8", "--row1", "0.25", "--accuracy", ".01"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = SplitLines(r.out);
    ASSERT_EQ(lines.size(), 2u);
    std::vector<std::string> fields;
    std::stringstream line(lines[1]);
    for (std::string field; std::getline(line, field, '\t');)
        fields.push_back(field);
    ASSERT_GT(fields.size(), 3u);
    EXPECT_EQ(fields[3], ".25"); // n(row1)
}

// The sample sizes are found along N whatever the order of the list: a descending list
// reports the same First N and Stable N as an ascending one.
TEST(StrictInput, SampleSizesDoNotDependOnListOrder) {
    auto sizes = [](const char* numbers) {
        const std::string dir = testing::MakeTempDirectory("cli-strict-order");
        const CliResult r = RunQuillon({"power", "--n", numbers, "--p1", ".1", "--p2", ".7",
                                        "--tests", "1, 4", "--summary-only"},
                                       dir);
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out.substr(r.out.find("\nTest\t"));
    };
    const std::string ascending = sizes("10 to 40 step 2");
    EXPECT_EQ(sizes("40 to 10 step -2"), ascending);
    EXPECT_EQ(sizes("40, 10 - 39"), sizes("10 - 40"));
}

// More than a million combinations (7 tests x 15 N x 101 proportions x 100 MENs) are
// refused without --yes, before anything is written. With --yes the run goes past the
// question to its data folder, which here is a file, so it fails there (status 1).
TEST(StrictInput, LargeRunNeedsYes) {
    const std::vector<std::string> large = {"particular",        "--n",   "4 - 18",
                                            "--tests",           "1 - 7", "--pcol",
                                            "0 to .5 step .005", "--men", "0 to 9.9 step .1"};
    const std::string refusedDir = testing::MakeTempDirectory("cli-large-refused");
    const CliResult refused = RunQuillon(large, refusedDir);
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err,
              "This run has more than 1000000 combinations (1060500 combinations; "
              "ParticularSummary.txt grows by about 1060500 lines (74.2 MB)), so it was not "
              "started; give --yes to start it.\n");
    EXPECT_EQ(refused.out, "");
    EXPECT_TRUE(fs::is_empty(refusedDir));

    const fs::path notAFolder = fs::path(testing::MakeTempDirectory("cli-large-yes")) / "file";
    ASSERT_FALSE(WriteTextFile(notAFolder, "").has_value());
    std::vector<std::string> accepted = large;
    accepted.push_back("--yes");
    const CliResult started = RunQuillon(accepted, notAFolder.string());
    EXPECT_EQ(started.status, 1);
    EXPECT_EQ(started.err.find("--yes"), std::string::npos) << started.err;
}

} // namespace
} // namespace quillon::cli
