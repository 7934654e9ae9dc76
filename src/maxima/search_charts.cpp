#include "maxima/search_charts.h"

#include "core/numtext.h"

#include <algorithm>
#include <cmath>

namespace quillon {

namespace {

constexpr Colour kWhite{255, 255, 255};
constexpr Colour kBlack{0, 0, 0};
constexpr Colour kGrey{191, 191, 191};
constexpr Colour kBlue{0, 0, 255};

// The box texts: a label, a line break, the value to 7 significant figures.
std::string Figure(const std::string& label, double value) {
    if (!std::isfinite(value)) {
        return label + "\n";
    }
    return label + "\n" + GiveSignedNumberTonsf(value, 7);
}

} // namespace

ChartWindowLayout LayOutSearchChartWindow(double W, double H) {
    ChartWindowLayout layout = LayOutChartWindow(W, H);
    layout.caption = FractionBox(W, H, 0, 0, 0.95, 0.08);
    return layout;
}

Box MapSquare(double W, double H) {
    const Box heading = LayOutSearchChartWindow(W, H).caption;
    const double bottom = 0.85 * H;
    const double side = std::min(
        {0.6 * std::sqrt(W * H), bottom - (heading.top + heading.height) - 0.04 * H, 0.6 * W});
    return Box{0.08 * W, bottom - side, side, side};
}

std::string MapLabelText(double value) {
    if (value > 0 && value < 0.0001)
        return "<.0001";
    return GiveSignedNumberTonsf(value, 4);
}

GraphScale RoundGraphMaximum(double firstPassBound, Property type, double alpha) {
    double yMax = firstPassBound;
    if (type == Property::ActualTypeIError && yMax < 1.1 * alpha) {
        yMax = 1.1 * alpha;
    }
    // A bound of 0 has no power of ten to round to (and one below the smallest normal
    // double would make the loop run past the range of the powers).
    if (!(yMax >= 1e-300) || !std::isfinite(yMax)) {
        yMax = 0.01;
    }
    int e = -1;
    while (!(yMax * std::pow(10.0, -e) > 1.5)) {
        --e;
    }
    double M = yMax * std::pow(10.0, -e);
    if (M != std::floor(M)) {
        M = std::ceil(M);
    }
    return GraphScale{M * std::pow(10.0, e), e, M};
}

SearchChart::SearchChart(double W, double H, const TextMetrics& metrics)
    : metrics_(metrics), nextW_(W), nextH_(H) {
    W_ = W;
    H_ = H;
    drawing_ = Drawing{W, H, {ClearOp{}}};
}

void SearchChart::SetWindowSize(double W, double H) {
    nextW_ = W;
    nextH_ = H;
}

ChartWindowLayout SearchChart::Layout() const {
    return LayOutSearchChartWindow(W_, H_);
}

double SearchChart::X(double pcol) const {
    if (design_ == CrossSectionalStudy) {
        return 0.08 * W_ + pcol * (2 * MapSquare(W_, H_).width);
    }
    return 0.08 * W_ + pcol * W_;
}

double SearchChart::MapY(double prow) const {
    return 0.85 * H_ - prow * (2 * MapSquare(W_, H_).height);
}

double SearchChart::GraphY(double value) const {
    return 0.85 * H_ - value * (0.68 * H_ / scale_.yMax);
}

void SearchChart::SetBox(TextBox& box, const std::string& label, double value, Colour colour) {
    box.text = Figure(label, value);
    box.colour = colour;
}

void SearchChart::OnSearchStarted(const SearchStarted& e) {
    W_ = nextW_;
    H_ = nextH_;
    design_ = e.key.design;
    type_ = e.key.type;
    alpha_ = e.key.parameter;
    scale_ = GraphScale{};
    fontSize_ = WindowFontSize(0.0008, W_, H_);
    drawing_ = Drawing{W_, H_, {ClearOp{}}};
    labels_.clear();

    const ChartWindowLayout layout = Layout();
    texts_.heading = e.headingLine + "\n" + e.titleLine;
    for (auto [box, place] : {std::pair{&texts_.pointValue, layout.pointValue},
                              std::pair{&texts_.areaBound, layout.areaBound},
                              std::pair{&texts_.overallMaximum, layout.overallMaximum},
                              std::pair{&texts_.residueBound, layout.residueBound}}) {
        box->box = place;
        box->fontSize = fontSize_;
    }
    texts_.residueBound.text.clear();
    if (design_ == CrossSectionalStudy) {
        DrawMapFrame();
    }
    ++revision_;
}

void SearchChart::DrawMapFrame() {
    auto& ops = drawing_.ops;
    const double th = metrics_.TextHeight(fontSize_, false);
    const double tick = 0.01 * W_;
    const double x0 = X(0), y0 = MapY(0);
    DrawMapOutline();
    for (int i = 0; i <= 5; ++i) {
        const double v = i / 10.0;
        const std::string label = GiveSignedNumberTonsf(v, 1);
        const double width = metrics_.TextWidth(label, fontSize_, false);
        const double x = X(v);
        ops.push_back(LineOp{x, y0, x, y0 + tick, kBlack});
        ops.push_back(TextOp{x - width / 2, y0 + tick, label, fontSize_, false, kBlack});
        const double y = MapY(v);
        ops.push_back(LineOp{x0, y, x0 - tick, y, kBlack});
        ops.push_back(TextOp{x0 - 1.5 * tick - width, y - th / 2, label, fontSize_, false, kBlack});
    }
    const std::string col = "pi(col)";
    ops.push_back(TextOp{X(0.25) - metrics_.TextWidth(col, fontSize_, false) / 2, y0 + tick + th,
                         col, fontSize_, false, kBlack});
    ops.push_back(TextOp{0.01 * W_, MapY(0.25) - th / 2, "pi(row)", fontSize_, false, kBlack});
}

void SearchChart::DrawMapOutline() {
    drawing_.ops.push_back(RectOp{X(0), MapY(0), X(0.5), MapY(0.5), kBlack});
}

namespace {

bool Overlap(const LabelBox& a, const LabelBox& b, double gap) {
    return a.x1 < b.x2 + gap && b.x1 < a.x2 + gap && a.y1 < b.y2 + gap && b.y1 < a.y2 + gap;
}

bool Contains(const LabelBox& outer, const LabelBox& inner) {
    return outer.x1 <= inner.x1 && inner.x2 <= outer.x2 && outer.y1 <= inner.y1 &&
           inner.y2 <= outer.y2;
}

// Labels keep this far (one unit, the width of a drawn line) from the square's outline and
// from one another, so no outline or label box touches another.
constexpr double kLabelGap = 1;

} // namespace

void SearchChart::DrawPointLabel(double pcol, double prow, double value, Colour colour) {
    if (!std::isfinite(value)) {
        return;
    }
    const std::string label = MapLabelText(value);
    const double x = X(pcol), y = MapY(prow);
    const double width = metrics_.TextWidth(label, fontSize_, false);
    const double height = metrics_.TextHeight(fontSize_, false);
    // Inside the square, clear of its outline (the axes) and so of the axis labels outside.
    const double left = X(0) + kLabelGap, right = X(0.5) - kLabelGap;
    const double top = MapY(0.5) + kLabelGap, bottom = MapY(0) - kLabelGap;
    if (width > right - left || height > bottom - top) {
        return;
    }
    // The label's top left corner at the point, else the label shifted to the point's other
    // sides, each moved inside the square; the first place clear of every label shown wins.
    // A label may instead cover shown labels entirely (a new maximum over the survey
    // value of the same point), which then no longer show. A label with no place is left
    // out: the figure boxes carry the latest values.
    std::vector<LabelBox> candidates;
    for (const auto& [cx, cy] : {std::pair{x, y}, std::pair{x - width, y}, std::pair{x, y - height},
                                 std::pair{x - width, y - height}}) {
        const double lx = std::clamp(cx, left, right - width);
        const double ly = std::clamp(cy, top, bottom - height);
        candidates.push_back({lx, ly, lx + width, ly + height});
    }
    const auto clear = [this](const LabelBox& box) {
        return std::none_of(labels_.begin(), labels_.end(), [&](const PlacedLabel& shown) {
            return Overlap(box, shown.box, kLabelGap);
        });
    };
    const auto covers = [this](const LabelBox& box) {
        return std::all_of(labels_.begin(), labels_.end(), [&](const PlacedLabel& shown) {
            return !Overlap(box, shown.box, kLabelGap) || Contains(box, shown.box);
        });
    };
    const LabelBox* chosen = nullptr;
    for (const LabelBox& box : candidates) {
        if (clear(box)) {
            chosen = &box;
            break;
        }
    }
    if (chosen == nullptr) {
        for (const LabelBox& box : candidates) {
            if (covers(box)) {
                chosen = &box;
                break;
            }
        }
    }
    if (chosen == nullptr) {
        return;
    }
    const LabelBox box = *chosen;
    std::erase_if(labels_, [&](const PlacedLabel& shown) { return Contains(box, shown.box); });
    PlacedLabel placed{box, FilledRectOp{box.x1, box.y1, box.x2, box.y2, kWhite, colour},
                       TextOp{box.x1, box.y1, label, fontSize_, false, colour}};
    drawing_.ops.push_back(placed.background);
    drawing_.ops.push_back(placed.text);
    labels_.push_back(std::move(placed));
}

void SearchChart::RedrawLabelsOver(const LabelBox& area) {
    for (const PlacedLabel& shown : labels_) {
        if (Overlap(area, shown.box, kLabelGap)) {
            drawing_.ops.push_back(shown.background);
            drawing_.ops.push_back(shown.text);
        }
    }
}

void SearchChart::OnAreaEvaluated(const AreaEvaluated& e) {
    if (design_ != CrossSectionalStudy) {
        return;
    }
    drawing_.ops.push_back(FilledRectOp{X(e.pcol), MapY(e.prow), X(e.pcol + e.width),
                                        MapY(e.prow + e.height), e.passes ? kWhite : kGrey,
                                        kBlack});
    DrawMapOutline();
    // Labels stay on top of the areas drawn after them.
    RedrawLabelsOver({X(e.pcol), MapY(e.prow + e.height), X(e.pcol + e.width), MapY(e.prow)});
    SetBox(texts_.pointValue, "Value at area lower left corner:", e.value, kBlack);
    SetBox(texts_.areaBound, "Upper bound for area:", e.bound, e.passes ? kBlack : kGrey);
    ++revision_;
}

void SearchChart::OnSurveyPoint(const SurveyPoint& e) {
    if (design_ != CrossSectionalStudy) {
        return;
    }
    DrawPointLabel(e.pcol, e.prow, e.value, kBlack);
    DrawPointLabel(e.prow, e.pcol, e.value, kBlack);
    ++revision_;
}

void SearchChart::OnSurveyDone(const SurveyDone& e) {
    if (design_ != CrossSectionalStudy) {
        return;
    }
    SetBox(texts_.overallMaximum, "Overall maximum value found:", e.overallMaximum, kBlack);
    SetBox(texts_.residueBound, "Latest upper bound of residue:", e.bound, kBlack);
    ++revision_;
}

void SearchChart::OnNewMaximum(const NewMaximum& e) {
    if (design_ != CrossSectionalStudy) {
        return; // the comparative graph shows the maximum of each pass instead
    }
    DrawPointLabel(e.pcol, e.prow, e.value, kBlue);
    SetBox(texts_.overallMaximum, "Overall maximum value found:", e.value, kBlack);
    if (e.residueBound >= 0) {
        SetBox(texts_.residueBound, "Latest upper bound of residue:", e.residueBound, kBlack);
    } else {
        // No survey has bounded the residue yet.
        texts_.residueBound.text = "Latest upper bound of residue:\n";
        texts_.residueBound.colour = kBlack;
    }
    ++revision_;
}

void SearchChart::DrawGraphAxes() {
    auto& ops = drawing_.ops;
    const double th = metrics_.TextHeight(fontSize_, false);
    const double tick = 0.01 * W_;
    const double x0 = X(0), y0 = GraphY(0);
    ops.push_back(TextOp{x0, GraphY(scale_.yMax) - 2 * th,
                         "Point values (line graph) and upper bounds (rectangles)", fontSize_,
                         false, kBlack});
    for (int i = 0; i <= 5; ++i) {
        const double v = i / 10.0;
        const std::string label = GiveSignedNumberTonsf(v, 1);
        const double x = X(v);
        ops.push_back(LineOp{x, y0, x, y0 + tick, kBlack});
        ops.push_back(TextOp{x - metrics_.TextWidth(label, fontSize_, false) / 2, y0 + tick, label,
                             fontSize_, false, kBlack});
    }
    ops.push_back(TextOp{X(0.25) - metrics_.TextWidth("pi", fontSize_, false) / 2, y0 + tick + th,
                         "pi", fontSize_, false, kBlack});
    const double step = std::pow(10.0, scale_.exponent);
    for (double j = 0; j <= scale_.mantissa; ++j) {
        const double v = j * step;
        const double y = GraphY(v);
        const std::string label = PlainNumberText(v);
        ops.push_back(LineOp{x0, y, x0 - tick, y, kBlack});
        ops.push_back(TextOp{x0 - 1.5 * tick - metrics_.TextWidth(label, fontSize_, false),
                             y - th / 2, label, fontSize_, false, kBlack});
    }
}

void SearchChart::OnGridPassDone(const GridPassDone& e) {
    if (design_ != ComparativeTrial || e.points.empty()) {
        return;
    }
    if (e.pass == 1 || scale_.yMax == 0) {
        scale_ = RoundGraphMaximum(e.residueBound, type_, alpha_);
        DrawGraphAxes();
    }
    auto& ops = drawing_.ops;
    const double bottom = GraphY(0), top = GraphY(scale_.yMax);
    ops.push_back(
        FilledRectOp{X(e.points.front()), bottom, X(e.points.back()), top, kWhite, kWhite});
    const std::size_t count = std::min({e.points.size(), e.values.size(), e.bounds.size()});
    for (std::size_t k = 0; k < count; ++k) {
        // The last interval of a pass may reach past pi = .5, where the property mirrors
        // itself; the graph shows only the part inside its frame.
        if (!(e.points[k] < 0.5))
            continue;
        const double bound = e.bounds[k];
        const Colour fill = bound < e.maximum + e.accuracy ? kWhite : kGrey;
        ops.push_back(FilledRectOp{X(e.points[k]), bottom,
                                   X(std::min(e.points[k] + e.spacing, 0.5)),
                                   GraphY(std::min(bound, scale_.yMax)), fill, kBlack});
    }
    for (std::size_t k = 1; k < count; ++k) {
        ops.push_back(LineOp{X(e.points[k - 1]), GraphY(std::min(e.values[k - 1], scale_.yMax)),
                             X(e.points[k]), GraphY(std::min(e.values[k], scale_.yMax)), kBlack});
    }
    ops.push_back(RectOp{X(0), bottom, X(0.5), top, kBlack});
    if (type_ == Property::ActualTypeIError) {
        const double y = GraphY(alpha_);
        ops.push_back(LineOp{X(0), y, X(0.5), y, kBlack});
    }
    SetBox(texts_.overallMaximum, "Maximum value found: ", e.passMaximum, kBlack);
    SetBox(texts_.residueBound, "Latest upper bound of residue: ", e.residueBound, kBlack);
    ++revision_;
}

Drawing SearchChart::Picture() const {
    Drawing picture = drawing_;
    const ChartWindowLayout layout = Layout();
    AppendTextBox(picture, TextBox{layout.caption, texts_.heading, fontSize_, kBlack}, metrics_);
    for (const TextBox* box :
         {&texts_.pointValue, &texts_.areaBound, &texts_.overallMaximum, &texts_.residueBound}) {
        if (!box->text.empty()) {
            AppendTextBox(picture, *box, metrics_);
        }
    }
    return picture;
}

} // namespace quillon
