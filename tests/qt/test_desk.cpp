// The windows' desk work: effect sizes in the analysis window, access keys, Escape, menu
// bars and the summary-data window.
#include "qt_support.h"

#include "analysis/qt/analyse_window.h"
#include "app/program.h"
#include "app/welcome_window.h"
#include "core/files.h"
#include "core/tables.h"
#include "desktop/qt/chart_window.h"
#include "desktop/qt/chart_window_base.h"
#include "desktop/qt/drawing_painter.h"
#include "desktop/qt/help_window.h"
#include "desktop/qt/summary_chart_window.h"
#include "desktop/qt/summary_data_window.h"
#include "desktop/qt/window_keys.h"
#include "maxima/qt/maxima_window.h"
#include "maxima/result_files.h"
#include "maxima/search.h"
#include "maxima/search_charts.h"
#include "particular/qt/particular_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTableView>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <vector>

using namespace quillon;
using quillon::testing::Child;
using quillon::testing::RecordedMessages;
using quillon::testing::Shot;

// How much darker (in HSL lightness, 0 to 1) a scroll bar's slider must be than the rest of
// its groove to be read as the slider.
constexpr double kShadeDifference = 0.05;

class DeskTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<RecordedMessages> messages_;
    std::unique_ptr<Program> program_;

    std::filesystem::path DataDir() const { return dir_->path().toStdString(); }

    static void Type(QLineEdit* box, const QString& text) {
        box->setFocus();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
    }

    void TypeTable(AnalyseWindow& w, const char* a, const char* b, const char* c, const char* d) {
        Type(Child<QLineEdit>(w, "txt_a"), QString::fromLatin1(a));
        Type(Child<QLineEdit>(w, "txt_b"), QString::fromLatin1(b));
        Type(Child<QLineEdit>(w, "txt_c"), QString::fromLatin1(c));
        Type(Child<QLineEdit>(w, "txt_d"), QString::fromLatin1(d));
    }

    // Every window of the program, by its name.
    std::vector<QWidget*> Windows() {
        return {&program_->Welcome(),      &program_->Analyse(),
                &program_->Particular(),   &program_->Maxima(),
                &program_->Help(),         &program_->Chart(),
                &program_->SummaryChart(), &program_->Welcome().SummaryData()};
    }

    // Access key -> captions using it, over the window's buttons, check boxes, option
    // buttons, group boxes, labels and menu titles.
    static std::map<QChar, QStringList> AccessKeys(QWidget& window) {
        std::map<QChar, QStringList> keys;
        const auto add = [&keys](const QString& caption) {
            const QChar key = AccessKey(caption);
            if (!key.isNull())
                keys[key] << caption;
        };
        for (const QAbstractButton* button : window.findChildren<QAbstractButton*>())
            add(button->text());
        for (const QGroupBox* box : window.findChildren<QGroupBox*>())
            add(box->title());
        for (const QLabel* label : window.findChildren<QLabel*>())
            if (label->buddy() != nullptr)
                add(label->text());
        for (const QMenuBar* bar : window.findChildren<QMenuBar*>())
            for (const QAction* action : bar->actions())
                add(action->text());
        return keys;
    }

    // Feeds a chart as the run does, noting where each pass's operations begin.
    struct Passes final : SearchObserver {
        SearchChart& chart;
        std::vector<std::size_t> starts;
        explicit Passes(SearchChart& c) : chart(c) {}
        void OnSearchStarted(const SearchStarted& e) override { chart.OnSearchStarted(e); }
        void OnAreaEvaluated(const AreaEvaluated& e) override { chart.OnAreaEvaluated(e); }
        void OnSurveyPoint(const SurveyPoint& e) override { chart.OnSurveyPoint(e); }
        void OnSurveyDone(const SurveyDone& e) override { chart.OnSurveyDone(e); }
        void OnNewMaximum(const NewMaximum& e) override { chart.OnNewMaximum(e); }
        void OnGridPassDone(const GridPassDone& e) override {
            starts.push_back(chart.GetDrawing().ops.size());
            chart.OnGridPassDone(e);
        }
    };
    static void RunSearch(const SearchSpec& spec, Passes& passes) {
        SearchStarted started = AnnounceSearch(spec);
        started.headingLine = SearchHeadingLine("06.12.26", spec.key, spec.m);
        started.titleLine = SearchTitleLine(spec.key.design, spec.key.type, spec.key.parameter);
        passes.OnSearchStarted(started);
        SearchTables tables(spec.key.design, spec.key.N, spec.m, spec.key.MEN, spec.key.MMT);
        const PropertyEvaluator evaluator(tables, spec.key.test, spec.key.policy, spec.key.type,
                                          spec.key.parameter);
        SilentSink interaction;
        const SearchContext context{passes, interaction, [] { return std::string("10:00"); }, 1};
        RunAreaSearch(spec, evaluator, nullptr, context);
    }

    // The actions of a window's menu bar, by their captions without access keys.
    static std::map<QString, QAction*> MenuActions(QWidget& window) {
        std::map<QString, QAction*> actions;
        auto* bar = window.findChild<QMenuBar*>(QStringLiteral("menuBar"));
        if (bar == nullptr)
            return actions;
        for (QAction* top : bar->actions())
            if (top->menu() != nullptr)
                for (QAction* action : top->menu()->actions())
                    actions[QString(action->text()).remove(QLatin1Char('&'))] = action;
        return actions;
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        messages_ = std::make_unique<RecordedMessages>();
        Program::SetEndHandler([] {});
        program_ = std::make_unique<Program>(DataDir());
        program_->ShowWelcome();
    }
    void cleanup() {
        program_.reset();
        messages_.reset();
        Program::SetEndHandler({});
    }

    void effectSizesFollowTheAnalysis() {
        AnalyseWindow& w = program_->Analyse();
        w.show();
        TypeTable(w, "10", "2", "3", "15");
        Child<QPushButton>(w, "cmdFullAnalysis")->click();
        const std::size_t analysed = w.OutputText().size();
        auto* effects = Child<QPushButton>(w, "cmdEffectSizes");
        QCOMPARE(effects->text(), QStringLiteral("&Effect sizes"));
        effects->click();
        QVERIFY(messages_->shown.empty());
        const std::string added = w.OutputText().substr(analysed);
        QVERIFY(added.starts_with("Effect sizes for a = 10, b = 2, c = 3, d = 15 "));
        QVERIFY(added.find("exact conditional interval: 2.75338 to 301.462\r\n") !=
                std::string::npos);
        QVERIFY(added.ends_with(std::string(100, '-') + "\r\n"));
        QVERIFY(Child<QPlainTextEdit>(w, "txtOutput")
                    ->toPlainText()
                    .endsWith(QString(100, QLatin1Char('-')) + QLatin1Char('\n')));
        Shot(w, QStringLiteral("frmAnalyse_effects"));

        // The exact unconditional tests follow the effect sizes.
        const std::size_t withEffects = w.OutputText().size();
        auto* unconditional = Child<QPushButton>(w, "cmdUnconditional");
        QCOMPARE(unconditional->text(), QStringLiteral("&Unconditional tests"));
        unconditional->click();
        QVERIFY(messages_->shown.empty());
        const std::string block = w.OutputText().substr(withEffects);
        QVERIFY(block.starts_with("Exact unconditional tests for a = 10, b = 2, c = 3, d = 15 "));
        QVERIFY(block.find("\r\nExact unconditional test, chi squared ordering: P value = "
                           ".000280200, largest at p = .500\r\n") != std::string::npos);
        QVERIFY(block.find("\r\nExact unconditional test, Fisher-Irwin ordering: P value = ") !=
                std::string::npos);
        QVERIFY(block.ends_with(std::string(100, '-') + "\r\n"));

        // A refused table: the messages of the analyses and no output.
        TypeTable(w, "0", "0", "1", "1");
        const std::size_t before = w.OutputText().size();
        effects->click();
        QCOMPARE(messages_->shown, (std::vector<std::string>{"A row total of 0 is invalid"}));
        QCOMPARE(w.OutputText().size(), before);
    }

    void accessKeysAreUniqueInEveryWindow() {
        QCOMPARE(AccessKey(QStringLiteral("P&ause")), QLatin1Char('A'));
        QCOMPARE(AccessKey(QStringLiteral("Tom && &Jerry")), QLatin1Char('J'));
        QVERIFY(AccessKey(QStringLiteral("Pause")).isNull());
        for (QWidget* window : Windows()) {
            const std::map<QChar, QStringList> keys = AccessKeys(*window);
            QVERIFY2(!keys.empty(), qPrintable(window->objectName()));
            for (const auto& [key, captions] : keys)
                QVERIFY2(captions.size() == 1,
                         qPrintable(window->objectName() + QStringLiteral(": ") + key +
                                    QStringLiteral(" in ") + captions.join(QStringLiteral(", "))));
        }
        // Pause keeps its caption and now has a key of its own.
        auto* pause = Child<QPushButton>(program_->Chart(), "cmdPause");
        QCOMPARE(QString(pause->text()).remove(QLatin1Char('&')), QStringLiteral("Pause"));
        QCOMPARE(AccessKey(pause->text()), QLatin1Char('U'));
    }

    void escapeClosesAsTheCloseButtons() {
        // The analysis and specification windows hide and bring the start window back.
        for (QWidget* window : {static_cast<QWidget*>(&program_->Analyse()),
                                static_cast<QWidget*>(&program_->Particular()),
                                static_cast<QWidget*>(&program_->Maxima())}) {
            program_->Welcome().hide();
            window->show();
            QApplication::setActiveWindow(window);
            QVERIFY(QTest::qWaitForWindowActive(window));
            QTest::keyClick(window, Qt::Key_Escape);
            QVERIFY2(!window->isVisible(), qPrintable(window->objectName()));
            QVERIFY2(program_->Welcome().isVisible(), qPrintable(window->objectName()));
        }
        // Help only hides itself.
        program_->ShowHelp(HelpTopic::General);
        HelpWindow& help = program_->Help();
        QApplication::setActiveWindow(&help);
        QVERIFY(QTest::qWaitForWindowActive(&help));
        QTest::keyClick(&help, Qt::Key_Escape);
        QVERIFY(!help.isVisible());
        // Escape in a typed field of the analysis window closes the window too.
        AnalyseWindow& w = program_->Analyse();
        w.show();
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        TypeTable(w, "1", "2", "3", "4");
        QTest::keyClick(Child<QLineEdit>(w, "txt_d"), Qt::Key_Escape);
        QVERIFY(!w.isVisible());
        QCOMPARE(Child<QLineEdit>(w, "txt_d")->text(), QStringLiteral("4"));
    }

    void summaryDataWindowShowsFiltersSortsAndDedupes() {
        const std::string heading = "Date\tDesign\tN\tTest\tActual";
        const std::string original = heading + "\n" + "06.12.26\t2\t12\t1\t.0517\n" +
                                     "06.12.26\t2\t10\t3\t.0432\n" +
                                     "06.12.26\t2\t12\t1\t.0517\n" + // a repeated run
                                     "06.12.26\t2\t8\t1\t.05170\n" + // edited by hand
                                     "\n" + "06.12.26\t2\t10\t3\t.0432\n";
        QVERIFY(!WriteTextFile(DataDir() / "ParticularSummary.txt", original).has_value());
        QVERIFY(!WriteTextFile(DataDir() / "MaximaSummary.txt", heading + "\n").has_value());
        // Every study's summary files are listed, the power study's and the test policies'
        // included.
        QVERIFY(!WriteTextFile(DataDir() / "PowerSummary.txt", heading + "\n").has_value());
        QVERIFY(
            !WriteTextFile(DataDir() / "Summary_of_Maxima_when_test_policy35.txt", heading + "\n")
                 .has_value());

        Child<QPushButton>(program_->Welcome(), "cmdSummaryData")->click();
        SummaryDataWindow& w = program_->Welcome().SummaryData();
        QVERIFY(w.isVisible());
        QCOMPARE(w.FileNames(),
                 (std::vector<std::string>{"ParticularSummary.txt", "MaximaSummary.txt",
                                           "Summary_of_Maxima_when_test_policy35.txt",
                                           "PowerSummary.txt"}));
        QVERIFY(w.ChooseFile("ParticularSummary.txt"));
        QTableView& table = w.Table();
        QAbstractItemModel& model = *table.model();
        QCOMPARE(model.rowCount(), 5);
        QCOMPARE(model.columnCount(), 6); // the line number and the five fields
        QCOMPARE(model.headerData(3, Qt::Horizontal).toString(), QStringLiteral("N"));
        Shot(w, QStringLiteral("frmSummaryData"));

        // Sorting by N goes by the numbers' values (8 before 10 before 12).
        table.sortByColumn(3, Qt::AscendingOrder);
        QCOMPARE(model.index(0, 3).data().toString(), QStringLiteral("8"));
        QCOMPARE(model.index(4, 3).data().toString(), QStringLiteral("12"));
        // The filter keeps the records holding the text.
        Type(Child<QLineEdit>(w, "txtFilter"), QStringLiteral(".0517"));
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(Child<QLabel>(w, "labCount")->text(), QStringLiteral("5 records, 3 shown"));
        Type(Child<QLineEdit>(w, "txtFilter"), QString());

        Child<QPushButton>(w, "cmdRemoveDuplicates")->click();
        QCOMPARE(ReadTextFile(DataDir() / "ParticularSummary.txt"),
                 std::optional<std::string>(heading + "\n" + "06.12.26\t2\t12\t1\t.0517\n" +
                                            "06.12.26\t2\t10\t3\t.0432\n" +
                                            "06.12.26\t2\t8\t1\t.05170\n" + "\n"));
        QCOMPARE(ReadTextFile(DataDir() / "ParticularSummary.txt.bak"),
                 std::optional<std::string>(original));
        QCOMPARE(messages_->shown.size(), std::size_t{1});
        QVERIFY(messages_->shown[0].starts_with("Removed 2 duplicate records from "));
        QCOMPARE(model.rowCount(), 3);

        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(!w.isVisible());
    }

    void chartWindowsHaveAMenuBar() {
        // The summary chart places its buttons when it draws a chart.
        SummaryChartData data;
        data.title = "Actual Type I error";
        data.x = {10, 12};
        data.y = {0.04, 0.05};
        data.series = {0, 0};
        data.axisLabel = "N";
        program_->SummaryChart().DrawChart(data);
        for (ChartWindowBase* window : {static_cast<ChartWindowBase*>(&program_->Chart()),
                                        static_cast<ChartWindowBase*>(&program_->SummaryChart())}) {
            const QString name = window->objectName();
            window->resize(800, 600);
            window->show();
            const std::map<QString, QAction*> actions = MenuActions(*window);
            QVERIFY2(actions.count(QStringLiteral("Save image as...")) == 1, qPrintable(name));
            QVERIFY2(actions.count(QStringLiteral("Copy image")) == 1, qPrintable(name));
            QVERIFY2(actions.count(QStringLiteral("Print chart")) == 1, qPrintable(name));
            // The chart is laid out below the menu bar, which covers none of it.
            auto* bar = window->findChild<QMenuBar*>(QStringLiteral("menuBar"));
            QVERIFY(bar->isVisible());
            QCOMPARE(window->Surface().geometry().top(), bar->geometry().bottom() + 1);
            QCOMPARE(window->DrawingHeight(), 600.0 - bar->height());
            for (const QPushButton* button : window->findChildren<QPushButton*>())
                QVERIFY2(button->geometry().top() > bar->geometry().bottom(),
                         qPrintable(name + QStringLiteral(" ") + button->objectName()));

            // Save image as... writes the picture where the user says.
            const std::filesystem::path file =
                DataDir() / (name.toStdString() + std::string(".svg"));
            messages_->savePath = file.string();
            actions.at(QStringLiteral("Save image as..."))->trigger();
            const std::optional<std::string> svg = ReadTextFile(file);
            QVERIFY2(svg.has_value() && svg->find("<svg") != std::string::npos, qPrintable(name));
            actions.at(QStringLiteral("Copy image"))->trigger();
            QCOMPARE(QApplication::clipboard()->image().width(),
                     static_cast<int>(window->Picture().width));
            Shot(*window, name + QStringLiteral("_menu"));
            window->hide();
        }
    }

    void analysisMenuSavesCopiesAndClears() {
        AnalyseWindow& w = program_->Analyse();
        w.show();
        const std::map<QString, QAction*> actions = MenuActions(w);
        QCOMPARE(actions.size(), std::size_t{3});
        TypeTable(w, "10", "2", "3", "15");
        Child<QPushButton>(w, "cmdRecommendedAn")->click();
        const std::string output = w.OutputText();
        QVERIFY(!output.empty());

        const std::filesystem::path file = DataDir() / "saved output.txt";
        messages_->savePath = file.string();
        actions.at(QStringLiteral("Save output..."))->trigger();
        QCOMPARE(ReadTextFile(file), std::optional<std::string>(output));
        messages_->savePath.clear(); // the user cancels: nothing written
        actions.at(QStringLiteral("Save output..."))->trigger();

        actions.at(QStringLiteral("Copy output"))->trigger();
        QCOMPARE(
            QApplication::clipboard()->text(),
            QString::fromStdString(output).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));

        // Clearing is asked first: No keeps the output, Yes empties it.
        messages_->answers = {Answer::No};
        actions.at(QStringLiteral("Clear output"))->trigger();
        QCOMPARE(w.OutputText(), output);
        QCOMPARE(messages_->asked.back(),
                 std::string("Clear all the output?  It is not kept anywhere else."));
        messages_->answers = {Answer::Yes};
        actions.at(QStringLiteral("Clear output"))->trigger();
        QVERIFY(w.OutputText().empty());
        QVERIFY(Child<QPlainTextEdit>(w, "txtOutput")->toPlainText().isEmpty());
        // The next analysis starts the output afresh.
        Child<QPushButton>(w, "cmdRecommendedAn")->click();
        QCOMPARE(w.OutputText(), output);
        Shot(w, QStringLiteral("frmAnalyse_menu"));
    }

    // The eye takes the darker part of a scroll bar for its slider. With a long slider (most
    // of a text in view) a pale slider in a shaded groove reads the wrong way round, as the
    // help text and the analysis output once did: every scroll bar of the program, vertical
    // and horizontal, at either end of its range, must show its slider darker than the rest.
    void scrollBarsReadTheRightWayRound() {
        auto lightness = [](const QImage& image, const QRect& r) {
            double sum = 0;
            int count = 0;
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x) {
                    sum += QColor(image.pixel(x, y)).lightnessF();
                    ++count;
                }
            return count == 0 ? 1.0 : sum / count;
        };
        // The slider at the start, then at the end, of a range whose page shows 80% of it.
        auto check = [&](QScrollBar& bar, const QString& where) {
            // A bar its area does not show yet gets a size to be drawn at.
            if (bar.orientation() == Qt::Vertical && bar.height() < 200)
                bar.resize(std::max(bar.width(), 16), 300);
            if (bar.orientation() == Qt::Horizontal && bar.width() < 200)
                bar.resize(300, std::max(bar.height(), 16));
            bar.setRange(0, 100);
            bar.setPageStep(400);
            for (int value : {bar.minimum(), bar.maximum()}) {
                bar.setValue(value);
                const QImage image = bar.grab().toImage();
                QStyleOptionSlider option;
                option.initFrom(&bar);
                option.orientation = bar.orientation();
                option.minimum = bar.minimum();
                option.maximum = bar.maximum();
                option.sliderPosition = value;
                option.sliderValue = value;
                option.pageStep = bar.pageStep();
                option.singleStep = bar.singleStep();
                option.subControls = QStyle::SC_All;
                const auto rect = [&](QStyle::SubControl part) {
                    return bar.style()
                        ->subControlRect(QStyle::CC_ScrollBar, &option, part, &bar)
                        .adjusted(2, 2, -2, -2);
                };
                const QRect rest = rect(value == bar.minimum() ? QStyle::SC_ScrollBarAddPage
                                                               : QStyle::SC_ScrollBarSubPage);
                QVERIFY2(!rest.isEmpty(), qPrintable(where));
                const double slider = lightness(image, rect(QStyle::SC_ScrollBarSlider));
                QVERIFY2(slider < lightness(image, rest) - kShadeDifference,
                         qPrintable(where + QStringLiteral(" at ") + QString::number(value)));
            }
        };
        program_->ShowHelp(HelpTopic::General);
        auto* help = program_->Help().findChild<QPlainTextEdit*>();
        QVERIFY(help != nullptr);
        check(*help->verticalScrollBar(), QStringLiteral("help text"));
        // The analysis output with more lines than it shows (its lines wrap, so it has no
        // horizontal bar).
        AnalyseWindow& w = program_->Analyse();
        w.show();
        TypeTable(w, "10", "2", "3", "15");
        for (int i = 0; i < 4; ++i)
            Child<QPushButton>(w, "cmdFullAnalysis")->click();
        w.resize(640, 420);
        auto* output = Child<QPlainTextEdit>(w, "txtOutput");
        QTRY_VERIFY(output->verticalScrollBar()->isVisible());
        check(*output->verticalScrollBar(), QStringLiteral("analysis output"));
        QScrollBar loose(Qt::Horizontal);
        loose.resize(300, 16);
        check(loose, QStringLiteral("a horizontal scroll bar"));
    }

    void searchGraphPassClearsItsRegionOnScreen() {
        // A real comparative-trial search (N = 20, m = 10, Pearson's test), its chart fed
        // pass by pass as the window is: the earlier passes painted, then the last pass's
        // clearing rectangle, in the window's incremental way (each pass added to what the
        // surface shows).
        const QtTextMetrics metrics;
        SearchChart chart(800, 560, metrics);
        Passes passes(chart);
        SearchSpec spec;
        spec.key.design = ComparativeTrial;
        spec.key.N = 20;
        spec.m = 10;
        spec.key.test = 1;
        spec.key.accuracy = 0.001;
        RunSearch(spec, passes);
        QVERIFY(passes.starts.size() >= 3);

        const Drawing& drawing = chart.GetDrawing();
        ChartSurface surface(nullptr);
        surface.resize(800, 560);
        Drawing first = drawing;
        first.ops.resize(passes.starts[1]);
        surface.SetDrawing(first);
        for (std::size_t pass = 1; pass + 1 < passes.starts.size(); ++pass)
            surface.AppendOps(std::vector<DrawOp>(
                drawing.ops.begin() + static_cast<std::ptrdiff_t>(passes.starts[pass]),
                drawing.ops.begin() + static_cast<std::ptrdiff_t>(passes.starts[pass + 1])));
        const std::size_t clearAt = passes.starts.back();
        const auto* clear = std::get_if<FilledRectOp>(&drawing.ops[clearAt]);
        QVERIFY(clear != nullptr);
        surface.AppendOps({*clear});
        const QImage image = surface.grab().toImage();
        // Every pixel of the cleared region, its edges included, is white: nothing of the
        // earlier passes' rectangles shows through as a faint line.
        int traces = 0;
        for (int y = static_cast<int>(std::lround(clear->y2));
             y <= static_cast<int>(std::lround(clear->y1)); ++y)
            for (int x = static_cast<int>(std::lround(clear->x1));
                 x <= static_cast<int>(std::lround(clear->x2)); ++x)
                traces += image.pixel(x, y) != qRgb(255, 255, 255) ? 1 : 0;
        QCOMPARE(traces, 0);
    }

    void searchMapLabelsWithTheScreensFonts() {
        // The maximum window's example 6 (cross-sectional, N = 10, Pearson's test, accuracy
        // .005), laid out with the real fonts in the chart window: no two labels meet.
        ChartWindow& window = program_->Chart();
        window.resize(900, 640);
        window.show();
        const QtTextMetrics metrics;
        SearchChart chart(window.DrawingWidth(), window.DrawingHeight(), metrics);
        Passes passes(chart);
        SearchSpec spec;
        spec.key.design = CrossSectionalStudy;
        spec.key.N = 10;
        spec.key.test = 1;
        spec.key.accuracy = 0.005;
        RunSearch(spec, passes);
        std::vector<QRectF> labels;
        const auto& ops = chart.GetDrawing().ops;
        for (std::size_t i = 0; i + 1 < ops.size(); ++i) {
            const auto* box = std::get_if<FilledRectOp>(&ops[i]);
            const auto* text = std::get_if<TextOp>(&ops[i + 1]);
            if (box == nullptr || text == nullptr || text->x != box->x1 || text->y != box->y1)
                continue;
            const QRectF r(QPointF(box->x1, box->y1), QPointF(box->x2, box->y2));
            if (std::find(labels.begin(), labels.end(), r) == labels.end())
                labels.push_back(r);
        }
        QVERIFY(labels.size() > 5);
        for (std::size_t i = 0; i < labels.size(); ++i)
            for (std::size_t j = i + 1; j < labels.size(); ++j)
                if (labels[i].intersects(labels[j]))
                    QVERIFY2(labels[j].contains(labels[i]) || labels[i].contains(labels[j]),
                             "two labels meet without one covering the other");
        window.ApplyLayout(chart.Layout(), true);
        window.SetDrawing(chart.GetDrawing());
        window.SetCaption(chart.Texts().heading);
        window.SetFigure(ChartWindow::OverallMaximum, chart.Texts().overallMaximum.text);
        window.SetFigure(ChartWindow::ResidueBound, chart.Texts().residueBound.text);
        window.SetFigure(ChartWindow::PointValue, chart.Texts().pointValue.text);
        window.SetFigure(ChartWindow::AreaBound, chart.Texts().areaBound.text);
        Shot(window, QStringLiteral("frmChart_example6_map"));
    }
};

QTEST_MAIN(DeskTest)
#include "test_desk.moc"
