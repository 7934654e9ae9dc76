// Progress of the area search for the maximum, as plain events.
//
// The search reports every step it takes to one observer: the log file of the run, the
// chart window (the map of the cross-sectional study, the pass graph of the comparative
// trial and its four text boxes) and the command line's progress line are all built from
// these events, so none of them needs to know how the search works inside.
//
// Proportions: pi(col) is horizontal and pi(row) vertical on the cross-sectional map; in
// the comparative trial only pi(col) varies and the number in row 1, m, is fixed per
// search. Every value and bound is the double the search computed (formatting is the
// receiver's job).
#pragma once

#include "maxima/search_key.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// A search is about to start: the chart window lays itself out, clears and draws its frame
// and heading; the log writes its separator and heading.
struct SearchStarted {
    SearchKey key;
    std::int64_t m = -1; // number in row 1 (comparative trial), -1 otherwise
    // The heading of the chart window and the log: first line (date, design, values),
    // second line (the title).
    std::string headingLine;
    std::string titleLine;
    // True for the first search of a combination's range of m with "overall" and for
    // every other search; false when the maximum carries over from the previous m.
    bool freshMaximum = true;
};

// Cross-sectional study: a pass starts with strips of this width.
struct StripPassStarted {
    double stripWidth = 0;
};

// Cross-sectional study: one area of a strip was evaluated. The area is the rectangle
// [pcol, pcol + width] x [prow, prow + height]; it passes when its bound does not exceed
// the maximum (as it was before this area) plus the accuracy.
struct AreaEvaluated {
    double pcol = 0, prow = 0;
    double width = 0, height = 0;
    double value = 0; // property at the lower-left corner
    double bound = 0; // upper bound of the property over the area
    bool passes = true;
};

// Cross-sectional study: the four sides of a pass are done (the log writes a blank line).
struct SidesDone {
    // The residue that remains, [colLo, colHi] x [rowLo, rowHi] above the diagonal.
    double colLo = 0, colHi = 0, rowLo = 0, rowHi = 0;
};

// Cross-sectional study: a survey of the residue begins.
struct SurveyStarted {
    std::string timeOfDay; // hh:mm:ss
    int columns = 0, rows = 0;
    double spacingCol = 0, spacingRow = 0;
};

// Cross-sectional study: one surveyed cell (its lower-left corner and size). The map also
// draws the mirror image (prow, pcol).
struct SurveyPoint {
    double pcol = 0, prow = 0;
    double width = 0, height = 0;
    double value = 0;
    double bound = 0;
};

// Cross-sectional study: the survey is done. `value` at (`pcol`, `prow`) is the survey's
// own largest value, `bound` its largest bound, which is now the residue bound.
struct SurveyDone {
    double value = 0, pcol = 0, prow = 0;
    double bound = 0;
    double overallMaximum = 0; // the search's maximum after the survey
};

// A new maximum was found (either design). For the cross-sectional study `residueBound`
// is the latest residue bound, or negative while no survey has set one.
struct NewMaximum {
    double value = 0;
    double pcol = 0;
    double prow = 0;     // cross-sectional study; -1 in the comparative trial
    std::int64_t m = -1; // comparative trial; -1 in the cross-sectional study
    double residueBound = -1;
};

// Comparative trial: one pass over the grid is done. Interval k is [points[k],
// points[k] + spacing]; its value is at points[k] and its bound over the interval.
struct GridPassDone {
    int pass = 1; // 1 for the first pass of this m
    std::int64_t m = 0;
    double spacing = 0;
    std::vector<double> points, values, bounds;
    double passMaximum = 0;  // the largest value of this pass's grid
    double maximum = 0;      // the search's maximum (kept across passes, and across m for
                             // "overall"); intervals below maximum + accuracy are trimmed
    double residueBound = 0; // the largest bound of this pass's grid
    double accuracy = 0;
};

// The search has ended.
struct SearchFinished {
    double maximum = 0;
    double pcol = -1, prow = -1; // prow -1 in the comparative trial
    std::int64_t m = -1;         // comparative trial: the m at the maximum
    double residueBound = 0;
    bool residueEmpty = false; // cross-sectional: every area was discarded ("Finished")
    bool converged = true;     // the accuracy was met
    bool stopped = false;      // ended by a stop request
};

// Receives the events of a search in the order they happen. Every method has an empty
// default so receivers implement only what they draw or write.
class SearchObserver {
public:
    virtual ~SearchObserver() = default;
    virtual void OnSearchStarted(const SearchStarted&) {}
    virtual void OnStripPassStarted(const StripPassStarted&) {}
    virtual void OnAreaEvaluated(const AreaEvaluated&) {}
    virtual void OnSidesDone(const SidesDone&) {}
    virtual void OnSurveyStarted(const SurveyStarted&) {}
    virtual void OnSurveyPoint(const SurveyPoint&) {}
    virtual void OnSurveyDone(const SurveyDone&) {}
    virtual void OnNewMaximum(const NewMaximum&) {}
    virtual void OnGridPassDone(const GridPassDone&) {}
    virtual void OnSearchFinished(const SearchFinished&) {}
};

// Passes every event to several observers in turn.
class SearchObserverList : public SearchObserver {
public:
    void Add(SearchObserver& observer) { observers_.push_back(&observer); }
    void OnSearchStarted(const SearchStarted& e) override {
        for (auto* o : observers_)
            o->OnSearchStarted(e);
    }
    void OnStripPassStarted(const StripPassStarted& e) override {
        for (auto* o : observers_)
            o->OnStripPassStarted(e);
    }
    void OnAreaEvaluated(const AreaEvaluated& e) override {
        for (auto* o : observers_)
            o->OnAreaEvaluated(e);
    }
    void OnSidesDone(const SidesDone& e) override {
        for (auto* o : observers_)
            o->OnSidesDone(e);
    }
    void OnSurveyStarted(const SurveyStarted& e) override {
        for (auto* o : observers_)
            o->OnSurveyStarted(e);
    }
    void OnSurveyPoint(const SurveyPoint& e) override {
        for (auto* o : observers_)
            o->OnSurveyPoint(e);
    }
    void OnSurveyDone(const SurveyDone& e) override {
        for (auto* o : observers_)
            o->OnSurveyDone(e);
    }
    void OnNewMaximum(const NewMaximum& e) override {
        for (auto* o : observers_)
            o->OnNewMaximum(e);
    }
    void OnGridPassDone(const GridPassDone& e) override {
        for (auto* o : observers_)
            o->OnGridPassDone(e);
    }
    void OnSearchFinished(const SearchFinished& e) override {
        for (auto* o : observers_)
            o->OnSearchFinished(e);
    }

private:
    std::vector<SearchObserver*> observers_;
};

} // namespace quillon
