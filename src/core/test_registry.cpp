#include "core/test_registry.h"

#include <algorithm>

#include "core/pvalues.h"
#include "core/unconditional.h"

#include <stdexcept>

namespace quillon {

namespace {

template <int Test>
double ChiSquaredTest(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d) {
    return ChiSquaredPValue(ChiSquaredValue(static_cast<double>(a), static_cast<double>(b),
                                            static_cast<double>(c), static_cast<double>(d), Test));
}

template <int Test>
double FisherIrwinTest(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d) {
    return FishersExactTest(a, b, c, d)[Test];
}

template <int Test>
double UnconditionalOneTable(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d) {
    return UnconditionalTest(Test, a, b, c, d).pValue;
}

template <int Test> std::vector<double> UnconditionalEveryTable(std::int64_t N, std::int64_t m) {
    return UnconditionalDesignPValues(Test, N, m);
}

std::vector<TestEntry>& Registry() {
    // The colours of tests 1 to 7 are those the cumulative-frequency chart has always drawn
    // them in; the unconditional tests take orange and purple, apart from all seven.
    static std::vector<TestEntry> tests{
        {1, "Pearson chi squared test", TestFamily::ChiSquared, ChiSquaredTest<1>, {0, 0, 0}},
        {2, "Yates's chi squared test", TestFamily::ChiSquared, ChiSquaredTest<2>, {191, 191, 0}},
        {3, "'N - 1' chi squared test", TestFamily::ChiSquared, ChiSquaredTest<3>, {0, 255, 0}},
        {4,
         "Fisher-Irwin test, by doubling one-sided",
         TestFamily::FisherIrwin,
         FisherIrwinTest<4>,
         {0, 0, 255}},
        {5,
         "Fisher-Irwin test, tables as frequent or less, either tail",
         TestFamily::FisherIrwin,
         FisherIrwinTest<5>,
         {0, 255, 255}},
        {6,
         "Mid-P Fisher-Irwin test, by doubling one-sided",
         TestFamily::FisherIrwin,
         FisherIrwinTest<6>,
         {255, 0, 255}},
        {7,
         "Mid-P Fisher-Irwin test, less frequent tables either tail",
         TestFamily::FisherIrwin,
         FisherIrwinTest<7>,
         {255, 0, 0}},
        {UnconditionalChiSquaredTest,
         UnconditionalTestName(UnconditionalChiSquaredTest),
         TestFamily::Unconditional,
         UnconditionalOneTable<UnconditionalChiSquaredTest>,
         {255, 128, 0},
         UnconditionalEveryTable<UnconditionalChiSquaredTest>,
         false},
        {UnconditionalFisherTest,
         UnconditionalTestName(UnconditionalFisherTest),
         TestFamily::Unconditional,
         UnconditionalOneTable<UnconditionalFisherTest>,
         {128, 0, 128},
         UnconditionalEveryTable<UnconditionalFisherTest>,
         false},
    };
    return tests;
}

} // namespace

const std::vector<TestEntry>& RegisteredTests() {
    return Registry();
}

const TestEntry* FindTest(int number) {
    const std::vector<TestEntry>& tests = Registry();
    if (number < 1 || number > static_cast<int>(tests.size()))
        return nullptr;
    return &tests[static_cast<std::size_t>(number - 1)];
}

bool IsRegisteredTest(int number) {
    return FindTest(number) != nullptr;
}

std::vector<int> DistinctTests(const std::vector<int>& tests) {
    std::vector<int> distinct;
    for (int t : tests)
        if (std::find(distinct.begin(), distinct.end(), t) == distinct.end())
            distinct.push_back(t);
    return distinct;
}

int HighestTestNumber() {
    return static_cast<int>(Registry().size());
}

std::string_view TestName(int number) {
    const TestEntry* entry = FindTest(number);
    return entry ? entry->name : std::string_view{};
}

Colour TestColour(int number) {
    const TestEntry* entry = FindTest(number);
    return entry ? entry->colour : Colour{};
}

double StudyTablePValue(const TestEntry& test, std::int64_t a, std::int64_t b, std::int64_t c,
                        std::int64_t d) {
    if (test.designPValues == nullptr)
        return test.pValue(a, b, c, d);
    const std::int64_t N = a + b + c + d, m = a + b;
    return test.designPValues(N, m)[DesignTableIndex(N, m, a, c)];
}

std::vector<int> ListingColumns(const TestSet& computed) {
    std::vector<int> columns;
    for (const TestEntry& test : Registry())
        if (test.everyListing || computed[static_cast<std::size_t>(test.number)])
            columns.push_back(test.number);
    return columns;
}

std::string AllTestsSpecification() {
    return "1 - " + std::to_string(HighestTestNumber());
}

TestRegistration::TestRegistration(const TestEntry& entry) {
    if (entry.number != HighestTestNumber() + 1 || entry.number >= TestNumberLimit ||
        entry.pValue == nullptr)
        throw std::invalid_argument("a test is registered under the next free number, with "
                                    "its P value");
    Registry().push_back(entry);
}

TestRegistration::~TestRegistration() {
    Registry().pop_back();
}

} // namespace quillon
