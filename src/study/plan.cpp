#include "study/plan.h"

#include <algorithm>
#include <stdexcept>

namespace quillon {

std::string_view DimensionText(Dimension d) {
    switch (d) {
    case Dimension::Number:
        return "_Number";
    case Dimension::RowOne:
        return "_n1";
    case Dimension::Test:
        return "_Test";
    case Dimension::PCol:
        return "_Pcol";
    case Dimension::PRow:
        return "_Prow";
    case Dimension::MEN:
        return "_MEN";
    case Dimension::P1:
        return "_P1";
    case Dimension::P2:
        return "_P2";
    }
    return "";
}

std::string DimensionSet::Text() const {
    std::string text;
    for (std::size_t i = 0; i < DimensionCount; ++i)
        if (Has(static_cast<Dimension>(i)))
            text += DimensionText(static_cast<Dimension>(i));
    return text;
}

Plan::Plan(std::vector<Loop> loops) : loops_(std::move(loops)) {
    count_ = loops_.empty() ? 0 : 1;
    for (const Loop& l : loops_)
        count_ *= l.size;
}

Plan::Plan(std::vector<Loop> loops, std::vector<std::size_t> innerSizes)
    : loops_(std::move(loops)), innerSizes_(std::move(innerSizes)) {
    if (loops_.size() < 2 || innerSizes_.size() != loops_.front().size)
        throw std::invalid_argument("Plan: one inner size for each outermost value");
    for (std::size_t l = 1; l + 1 < loops_.size(); ++l)
        middleProduct_ *= loops_[l].size;
    outerStarts_.reserve(innerSizes_.size() + 1);
    std::uint64_t start = 0;
    for (std::size_t o = 0; o < innerSizes_.size(); ++o) {
        outerStarts_.push_back(start);
        start += InnerProduct(o);
    }
    outerStarts_.push_back(start);
    count_ = start;
}

std::uint64_t Plan::InnerProduct(std::size_t outer) const {
    return middleProduct_ * innerSizes_[outer];
}

std::size_t Plan::LoopSize(std::size_t loop, std::uint64_t index) const {
    if (!innerSizes_.empty() && loop + 1 == loops_.size())
        return innerSizes_[Positions(index).front()];
    return loops_[loop].size;
}

std::vector<std::size_t> Plan::Positions(std::uint64_t index) const {
    std::vector<std::size_t> at(loops_.size(), 0);
    if (loops_.empty())
        return at;
    std::uint64_t rest = index;
    std::size_t first = 0;
    if (!innerSizes_.empty()) {
        // The outermost value whose block holds the index.
        const auto it = std::upper_bound(outerStarts_.begin(), outerStarts_.end(), index);
        const auto outer = static_cast<std::size_t>(it - outerStarts_.begin()) - 1;
        at[0] = outer;
        rest = index - outerStarts_[outer];
        first = 1;
        const std::uint64_t inner = innerSizes_[outer];
        at.back() = static_cast<std::size_t>(rest % inner);
        rest /= inner;
        for (std::size_t l = loops_.size() - 1; l-- > first;) {
            at[l] = static_cast<std::size_t>(rest % loops_[l].size);
            rest /= loops_[l].size;
        }
        return at;
    }
    for (std::size_t l = loops_.size(); l-- > 0;) {
        at[l] = static_cast<std::size_t>(rest % loops_[l].size);
        rest /= loops_[l].size;
    }
    return at;
}

DimensionSet Plan::Completed(std::uint64_t index) const {
    const std::vector<std::size_t> at = Positions(index);
    DimensionSet done;
    for (std::size_t l = 0; l < loops_.size(); ++l) {
        const std::size_t size = LoopSize(l, index);
        if (size > 1 && at[l] + 1 == size)
            done.Add(loops_[l].dimension);
    }
    return done;
}

std::size_t Plan::LoopOf(Dimension d) const {
    for (std::size_t l = 0; l < loops_.size(); ++l)
        if (loops_[l].dimension == d)
            return l;
    return loops_.size();
}

} // namespace quillon
