#include "analysis/analysis.h"
#include "analysis/effects.h"
#include "analysis/unconditional_tests.h"
#include "cli/commands.h"
#include "core/numtext.h"
#include "study/speclang.h"

#include <ostream>

namespace quillon::cli {

namespace {

// What follows the usage line of the command.
constexpr const char* kAnalyseHelp =
    "\n"
    "Analyses the 2 x 2 table\n"
    "             A    Not-A\n"
    "    B        A    B\n"
    "    Not-B    C    D\n"
    "by the three chi squared tests and the four Fisher-Irwin tests (or, with\n"
    "--recommended, by the recommended test only) and prints the analysis.\n"
    "With --effects the odds ratio (sample value, and the conditional maximum\n"
    "likelihood estimate with its exact interval), the risk ratio (Katz log\n"
    "interval) and the risk difference (Newcombe's hybrid score interval) of row B\n"
    "against row Not-B for column A follow, with 95% confidence intervals.\n"
    "With --unconditional the exact unconditional tests follow (after the effect\n"
    "sizes when both are asked): rows B and Not-B as two independent samples with\n"
    "one proportion of column A, ordered by the pooled chi squared value (test 8) and\n"
    "by the two-sided Fisher-Irwin P value (test 9), each P value the largest over\n"
    "the proportion, certified by a search that proves no proportion gives more.\n"
    "Each cell must be a number (refused when anything else is typed); negative\n"
    "and fractional cells are corrected with a message on stderr.\n";

std::string AnalyseUsage() {
    return UsageLine("analyse") + kAnalyseHelp;
}

} // namespace

int RunAnalyse(const std::vector<std::string>& args, Streams& io) {
    bool recommended = false;
    bool effects = false;
    bool unconditional = false;
    std::vector<std::string> cells;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            io.out << AnalyseUsage();
            return 0;
        }
        if (arg == "--recommended") {
            recommended = true;
        } else if (arg == "--effects") {
            effects = true;
        } else if (arg == "--unconditional") {
            unconditional = true;
        } else if (arg.size() >= 2 && arg[0] == '-' && arg[1] == '-') {
            io.err << "quillon-cli analyse: unknown option '" << arg << "'\n\n" << AnalyseUsage();
            return 2;
        } else {
            cells.push_back(arg);
        }
    }
    if (cells.size() != 4) {
        io.err << "quillon-cli analyse: expected four cells, got " << cells.size() << "\n\n"
               << AnalyseUsage();
        return 2;
    }
    static constexpr const char* kCellNames[] = {"A", "B", "C", "D"};
    for (std::size_t i = 0; i < cells.size(); ++i)
        if (auto problem = SingleValueProblem(cells[i])) {
            io.err << "quillon-cli analyse: "
                   << UnreadableMessage(std::string("cell ") + kCellNames[i], cells[i], *problem)
                   << '\n';
            return 2;
        }
    const TableValidation v = ValidateTable(NumericReading(cells[0]), NumericReading(cells[1]),
                                            NumericReading(cells[2]), NumericReading(cells[3]));
    for (const std::string& message : v.messages)
        io.err << message << '\n';
    if (v.zeroTotal || v.tooLarge)
        return 2;
    io.out << (recommended ? RecommendedAnalysisText(v.a, v.b, v.c, v.d, "\n")
                           : FullAnalysisText(v.a, v.b, v.c, v.d, "\n"));
    if (effects)
        io.out << EffectSizesText(v.a, v.b, v.c, v.d, "\n");
    if (unconditional)
        io.out << UnconditionalTestsText(v.a, v.b, v.c, v.d, "\n");
    return 0;
}

} // namespace quillon::cli
