// The plan of a run: every combination of its lists in the order the run takes them.
//
// The lists nest as loops, the first outermost. The size of the innermost loop may depend
// on the value of the outermost one (the maximum study searches every number in row 1 up
// to N / 2 for each N). A combination is named by its index in the plan and by the
// position it takes in each loop. The plan is not stored combination by combination:
// positions are computed from the index, so a run over millions of combinations costs no
// memory for its plan.
//
// The variation key of a run is the set of its dimensions that vary (DimensionSet); its
// text form ("_Number_Test") is what the summary-chart rules are written in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The dimensions of the studies' lists, in the order their texts are joined in a key.
enum class Dimension : std::uint8_t {
    Number, // total number N ("_Number")
    RowOne, // numbers in row 1 searched one by one: "all" and "overall" ("_n1")
    Test,   // test ("_Test")
    PCol,   // population proportion in column 1 ("_Pcol")
    PRow,   // population proportion or number in row 1 ("_Prow")
    MEN,    // minimum expected number ("_MEN")
    P1,     // proportion in column 1 within row 1 ("_P1")
    P2,     // proportion in column 1 within row 2 ("_P2")
};
inline constexpr std::size_t DimensionCount = 8;

std::string_view DimensionText(Dimension d);

class DimensionSet {
public:
    constexpr DimensionSet() = default;
    constexpr DimensionSet(std::initializer_list<Dimension> dimensions) {
        for (Dimension d : dimensions)
            Add(d);
    }
    constexpr void Add(Dimension d) { bits_ |= Bit(d); }
    constexpr bool Has(Dimension d) const { return (bits_ & Bit(d)) != 0; }
    constexpr bool Empty() const { return bits_ == 0; }
    // The key text: the dimensions' texts in their order, "" for none.
    std::string Text() const;
    friend constexpr bool operator==(DimensionSet, DimensionSet) = default;

private:
    static constexpr std::uint32_t Bit(Dimension d) {
        return std::uint32_t{1} << static_cast<unsigned>(d);
    }
    std::uint32_t bits_ = 0;
};

class Plan {
public:
    struct Loop {
        Dimension dimension;
        std::size_t size = 1;
    };
    // Loops of fixed sizes, outermost first.
    explicit Plan(std::vector<Loop> loops);
    // The same, with the innermost loop's size given for each position of the outermost
    // loop (innerSizes has one entry per outermost value; the innermost Loop's size is not
    // used).
    Plan(std::vector<Loop> loops, std::vector<std::size_t> innerSizes);

    std::uint64_t Count() const { return count_; }
    std::size_t Loops() const { return loops_.size(); }

    // The position of combination `index` in each loop, outermost first.
    std::vector<std::size_t> Positions(std::uint64_t index) const;
    // The size of loop `loop` at combination `index` (the innermost may vary).
    std::size_t LoopSize(std::size_t loop, std::uint64_t index) const;
    // The dimensions whose loop has more than one value and is at its last value at
    // combination `index` (the summary-chart rules' "completed" lists).
    DimensionSet Completed(std::uint64_t index) const;
    // The loop of dimension `d`, or Loops() when the plan has none.
    std::size_t LoopOf(Dimension d) const;

private:
    std::uint64_t InnerProduct(std::size_t outer) const;

    std::vector<Loop> loops_;
    std::vector<std::size_t> innerSizes_;    // empty: every loop fixed
    std::vector<std::uint64_t> outerStarts_; // first index of each outermost value
    std::uint64_t middleProduct_ = 1;        // product of the loops between outer and inner
    std::uint64_t count_ = 0;
};

} // namespace quillon
