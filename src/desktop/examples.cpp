#include "desktop/examples.h"

#include "core/numtext.h"

#include <array>

namespace quillon {

namespace {

constexpr DesignCode CS = CrossSectionalStudy;
constexpr DesignCode CT = ComparativeTrial;

// Published particular-proportion results. The references are kept short in the list;
// an asterisk marks a source that gave one-sided results.
constexpr std::array<ParticularExample, 13> kParticular{{
    {"RefA (1947), Table 5. 2nd example, Method 2 L(0.05) *", CT, "20", "3",
     ".05, .1, .2, .3, .4, .5 ", ".5", ".1", "0"},
    {"RefA (1947), Table 5. 2nd example, Method 2 L'(0.01) *", CT, "20", "3",
     ".05, .1, .2, .3, .4, .5 ", ".5", ".02", "0"},
    {"RefB (1968), Tables 1 & 2", CT, "20", "1, 2", ".1 to .5 step .1", ".5", ".05", "0"},
    {"RefC (1976), Table 1 *", CT, "80", "1, 2, 4", ".1 to .5 step .1", ".5", ".1", "0"},
    {"RefD (1978a) Table 2 *", CT, "10", "1, 2, 4", ".1 to .5 step .1", ".5", ".1", "0"},
    {"RefE (1982) Fig 5(a) (24-6)", CT, "30", "1", ".025 to .5 step .025", "6", ".05", "0"},
    {"RefF (1990) Table 3", CS, "20", "1, 2, 3", ".1 to .5 step .2", ".1 to .5 step .2", ".05",
     "0"},
    {"RefG (1990) Figure 1(b)", CT, "4 to 160 step 2", "1, 4", ".2", ".5", ".05", "0"},
    {"RefG (1990) Figure 3(b)", CT, "40", "1, 4", ".5", ".5", ".05", "0"},
    {"RefH (1977)", CS, "4", "1", ".1 to .5 step .1", ".1 to .5 step .1", ".05", "0"},
    {"RefM (2006?), Fig. 1", CT, "12", "1, 4", ".5", "6", ".05", "0"},
    {"RefM (2006?), Fig. 2(a)", CT, "12", "1, 4", ".02 to .5 step .02", "6", ".05", "0"},
    {"RefM (2006?), Fig. 6: RefE (1982) with MEN restrictions", CT, "30", "1", ".02 to .5 step .02",
     "6", ".05", "0 - 3"},
}};

// Published maxima over all population proportions.
constexpr std::array<MaximumExample, 16> kMaximum{{
    {"RefJ (1980) Table 2", CT, "6, 8, 14, 26, 46, 76, 118", "3", ".5", "0", ".05", 0.001},
    {"RefK (1986) Table 1*", CT, "10 - 40 step 2", "3", ".5", "0", ".1", 0.001},
    {"RefL (2001) Fig. 4", CT, "6 - 150 step 3", "1, 5, 7", ".334", "0", ".05", 0.001},
    {"RefL (2001) Fig. 5", CT, "5 - 250 step 5", "1, 5, 7", ".2", "0", ".05", 0.001},
    {"RefM (2006?), Fig. 3", CT, "30", "1", "6", "0", ".05", 0.002},
    {"RefM (2006?), Fig. 4", CS, "10", "1", "N/A", "0", ".05", 0.005},
    {"RefM (2006?), Fig. 5 (comparative trial 7 tests)", CT, "4 - 80", "1 - 7", "overall", "0",
     ".05", 0.001},
    {".. Fig. 7 (comparative trial, Pearson chi squared, variable MEN, overall maximum)", CT,
     "4 - 80", "1", "overall", "0, 1, 3, 5", ".05", 0.001},
    {".. Fig. 8 (comparative trial, Pearson chi squared, MEN = 5, individual maxima)", CT, "4 - 79",
     "1", "all", "5", ".05", 0.001},
    {".. Fig. 9 (comparative trial, 'N - 1' chi squared, variable MEN, overall maximum)", CT,
     "4 - 80", "3", "overall", "0, 1, 3, 5", ".05", 0.001},
    {".. Fig. 10 (comparative trial, 'N - 1' chi squared, MEN = 1, individual maxima)", CT,
     "4 - 79", "3", "all", "1", ".05", 0.001},
    {".. Fig. 11 (comparative trial, Mid-P Fisher-Irwin test, Irwin's rule, variable MEN, "
     "overall maximum)",
     CT, "4 - 80", "7", "overall", "0, 1, 3, 5", ".05", 0.001},
    {".. Fig. 12 (cross-sectional study, 7 tests)", CS, "4 - 60", "1 - 7", "", "0", ".05", 0.001},
    {".. Fig. 13 (cross-sectional study, Pearson chi squared, variable MEN, overall maximum)", CS,
     "4 - 60", "1", "", "0, 1, 3, 5", ".05", 0.001},
    {".. Fig. 14 (cross-sectional study, 'N - 1' chi squared, variable MEN, overall maximum)", CS,
     "4 - 60", "3", "", "0, 1, 3, 5", ".05", 0.001},
    {".. Fig. 15 (cross-sectional study, Mid-P Fisher-Irwin test, Irwin's rule, variable MEN, "
     "overall maximum)",
     CS, "4 - 60", "7", "", "0, 1, 3, 5", ".05", 0.001},
}};

// Typical questions of power and sample size. The first checks the program against a
// peer: test 5 at N = 40 has the exact power R gives for the two-sided Fisher test
// (.6502249).
constexpr std::array<PowerExample, 5> kPower{{
    {"Sample size for .2 against .6 (equal rows), all seven tests", CT, "10 to 60 step 10", ".5",
     ".2", ".6", "1 - 7", "0", ".05", ".8"},
    {"Saw-tooth of power with N: Fisher-Irwin tests, .2 against .5", CT, "20 to 80", ".5", ".2",
     ".5", "4, 5, 7", "0", ".05", ".8"},
    {"Power against p2 at N = 50, Pearson and Fisher-Irwin", CT, "50", ".5", ".2",
     ".2 to .8 step .05", "1, 5", "0", ".05", ".8"},
    {"Unequal rows: 10 in row 1, N = 40", CT, "40", "10", ".1", ".5", "1 - 7", "0", ".05", ".8"},
    {"Cross-sectional study with MEN restrictions", CS, "30 to 90 step 10", ".3", ".2", ".6",
     "1, 3, 5", "0, 1, 5", ".05", ".9"},
}};

} // namespace

std::string_view OneSidedNoteFor(std::string_view listText) {
    return listText.find('*') != std::string_view::npos ? OneSidedNote : std::string_view{};
}

std::span<const ParticularExample> ParticularExamples() {
    return kParticular;
}
std::span<const MaximumExample> MaximumExamples() {
    return kMaximum;
}

ParticularSettings ApplyExample(const ParticularExample& example, ParticularSettings fields) {
    fields.interval = "0";
    fields.men = "0";
    fields.mmt = "1";
    fields.pause = false;
    fields.men = std::string(example.men);
    fields.comparativeTrial = example.design == CT;
    fields.number = std::string(example.number);
    fields.test = std::string(example.test);
    fields.pCol = std::string(example.pCol);
    fields.pRow = std::string(example.pRow);
    fields.parameter = std::string(example.parameter);
    return fields;
}

MaximaSettings ApplyExample(const MaximumExample& example, MaximaSettings fields) {
    fields.mmt = "1";
    fields.comparativeTrial = example.design == CT;
    fields.number = std::string(example.number);
    fields.test = std::string(example.test);
    fields.row1 = std::string(example.row1);
    fields.men = std::string(example.men);
    fields.parameter = std::string(example.parameter);
    fields.pause = false;
    fields.accuracy = GeneralNumberText(example.accuracy);
    return fields;
}

std::span<const PowerExample> PowerExamples() {
    return kPower;
}

PowerSettings ApplyExample(const PowerExample& example, PowerSettings fields) {
    fields.mmt = "1";
    fields.pause = false;
    fields.comparativeTrial = example.design == CT;
    fields.number = example.number;
    fields.row = example.row;
    fields.p1 = example.p1;
    fields.p2 = example.p2;
    fields.test = example.test;
    fields.men = example.men;
    fields.alpha = example.alpha;
    fields.target = example.target;
    return fields;
}

} // namespace quillon
