// The tests the program compares, registered once.
//
// Each test is an entry: its number (the number users type in test lists and that files
// and charts carry), its name as the key for tests shows it, its family, the P value of
// one table, and the colour that draws it in every chart, picture and print. Everything
// that lists, checks, names or colours tests reads this registry, so a new test is one
// entry here plus the code of its P value.
//
// Numbers run from 1 without gaps (a registration that would leave a gap is refused), so
// a test list accepts exactly the values 1 to HighestTestNumber(). Arrays indexed by test
// number have TestNumberLimit slots, which bounds the numbers a registration may take.
//
// The studies compute P values by family where a family has a faster way than one table
// at a time (all chi squared tests from one margin product, all Fisher-Irwin tests from
// one set of hypergeometric terms). A test of any other family is computed by its entry's
// design function when it has one (every table of one row total at once: the exact
// unconditional tests walk a design's tables once instead of searching for each table),
// and otherwise by its P-value function, one table at a time.
#pragma once

#include "core/drawing.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

enum class TestFamily {
    ChiSquared,   // P = 2 CumulativeNormal(-chi^0.5) of a chi squared value
    FisherIrwin,  // sums of hypergeometric terms of the observed margins
    Unconditional // sums over the nuisance proportion
};

// The P value of the table (a, b, c, d): whole, non-negative counts, no zero margin.
using TablePValue = double (*)(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d);

// The P values of every table whose rows total m (cells a, b) and N - m (cells c, d), at
// DesignTableIndex(N, m, a, c). Preconditions: 0 <= m <= N, N >= 1.
using DesignPValues = std::vector<double> (*)(std::int64_t N, std::int64_t m);

inline std::size_t DesignTableIndex(std::int64_t N, std::int64_t m, std::int64_t a,
                                    std::int64_t c) {
    return static_cast<std::size_t>(a) * static_cast<std::size_t>(N - m + 1) +
           static_cast<std::size_t>(c);
}

struct TestEntry {
    int number = 0;
    std::string_view name;
    TestFamily family = TestFamily::ChiSquared;
    TablePValue pValue = nullptr;
    Colour colour;
    // Where set, the studies take each table's P value from its row total's design, and
    // `pValue` serves one table alone (the two may differ in the last bits).
    DesignPValues designPValues = nullptr;
    // Computed for a listing of every test's P values even where not asked for; a test
    // whose P values cost a search over every table's design is listed only when asked for.
    bool everyListing = true;
};

// Test numbers are below this; arrays indexed by test number have this many slots.
inline constexpr int TestNumberLimit = 12;

// One flag per test number (slot 0 unused): which tests a pass computes.
using TestSet = std::array<bool, TestNumberLimit>;

// The P value a study gives the table (a, b, c, d) by `test`: from its design when the test
// has one, else its own. A design is computed whole, so this is for single tables only.
double StudyTablePValue(const TestEntry& test, std::int64_t a, std::int64_t b, std::int64_t c,
                        std::int64_t d);

// The tests whose columns a listing of every test shows, ascending: those of every
// listing, and the others that were computed.
std::vector<int> ListingColumns(const TestSet& computed);

// The registered tests in ascending number. Not to be read while a registration changes it.
const std::vector<TestEntry>& RegisteredTests();

// The entry of test `number`, or null when no such test is registered.
const TestEntry* FindTest(int number);
bool IsRegisteredTest(int number);

// The highest registered number (every number from 1 to it is a test).
int HighestTestNumber();

// The tests of a list once each, in the order of their first occurrence (a study's list may
// repeat a test; its figures are computed once).
std::vector<int> DistinctTests(const std::vector<int>& tests);

// The name of test `number`; empty for an unregistered number.
std::string_view TestName(int number);

// The chart colour of test `number`; black for an unregistered number.
Colour TestColour(int number);

// "1 - 9": every registered test as a test list, for help texts and tool tips.
std::string AllTestsSpecification();

// Adds a test for as long as the object lives (a test added by a test program, or by a
// build that carries extra tests). Its number must be HighestTestNumber() + 1 and below
// TestNumberLimit; registrations end in the reverse order of their start.
class TestRegistration {
public:
    explicit TestRegistration(const TestEntry& entry);
    ~TestRegistration();
    TestRegistration(const TestRegistration&) = delete;
    TestRegistration& operator=(const TestRegistration&) = delete;
};

} // namespace quillon
