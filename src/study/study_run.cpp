#include "study/study_run.h"

#include "core/files.h"
#include "core/memory.h"
#include "study/study_texts.h"

namespace quillon {

bool ShowSummaryChart(StudySink& sink, const SummaryChartData& data) {
    if (data.Count() == 0) {
        sink.Message(MessageKind::Notice, NoDataMessage);
        return false;
    }
    sink.SummaryChart(data);
    return true;
}

void ShowSummaryChartIfAny(StudySink& sink, const SummaryChartData& data) {
    if (data.Count() > 0)
        sink.SummaryChart(data);
}

bool SingleCombination(const Plan& plan, DimensionSet varying) {
    for (std::size_t loop = 0; loop < plan.Loops(); ++loop)
        for (std::size_t d = 0; d < DimensionCount; ++d) {
            const auto dimension = static_cast<Dimension>(d);
            if (varying.Has(dimension) && plan.LoopOf(dimension) == loop)
                return false;
        }
    return true;
}

namespace {

StudyOutcome ChartOfEarlierData(StudyDescription& study, DimensionSet varying, StudySink& sink) {
    sink.RunStarted({RunKind::EarlierData, true});
    if (const std::optional<SummaryChartData> chart = study.EarlierDataChart(varying))
        ShowSummaryChart(sink, *chart);
    else
        sink.Message(MessageKind::Notice, NotProgrammedMessage);
    sink.RunDelivered();
    return {};
}

StudyOutcome Calculate(StudyDescription& study, RunKind kind, DimensionSet varying,
                       const RunSettings& settings, StudySink& sink) {
    if (settings.shard.Active())
        if (const std::optional<std::string> refusal = study.ShardRefusal())
            return RefuseRun(sink, *refusal);
    const std::optional<std::uint64_t> available = AvailableMemoryBytes();
    if (const std::optional<Refusal> refusal = study.CheckPlan(available))
        return RefuseRun(sink, refusal->message);
    const Plan plan = study.MakePlan();
    // Refused before the data folder is touched, so a refused run leaves no empty file.
    if (const std::optional<std::string> refusal = study.PlanRefusal(plan))
        return RefuseRun(sink, *refusal);
    if (std::optional<StudyOutcome> end = ConfirmRunSize(sink, study.Size(plan)))
        return *end;
    if (auto error = PrepareDataDirectory(settings.dataDirectory))
        return FailRun(sink, *error);
    if (auto error = study.PrepareFiles())
        return FailRun(sink, *error);

    sink.RunStarted({kind, kind == RunKind::Comparison || SingleCombination(plan, varying)});
    PlanJobs jobs;
    // A comparison is charted table by table as it is computed: one at a time.
    jobs.jobs = kind == RunKind::Comparison ? 1 : settings.jobs;
    PlanSteps steps = study.Steps(plan);
    // A combination is reported as it starts: computed one at a time, as its computation
    // begins; computed ahead, as its turn to be delivered comes (the order the user sees
    // is the plan's either way). Each delivered result is reported, for the front end to
    // hold the run there if it will.
    const bool announce = kind == RunKind::Combinations;
    const bool serial = JobCount(jobs.jobs) <= 1;
    steps.compute = [&study, &plan, &sink, announce, serial,
                     compute = std::move(steps.compute)](std::uint64_t index) -> DeliverStep {
        if (announce && serial)
            sink.CombinationStarted();
        return [&study, &plan, &sink, index, announce, serial,
                deliver = compute(index)]() -> std::optional<StudyOutcome> {
            if (announce && !serial)
                sink.CombinationStarted();
            if (std::optional<StudyOutcome> end = deliver())
                return end;
            if (study.CompletesAResult(plan, index))
                sink.CombinationDelivered();
            return std::nullopt;
        };
    };
    // The look-ahead of a run with several jobs holds at most half the memory available.
    if (available)
        jobs.memoryBudget = static_cast<double>(*available) / 2;
    ShardRun shard;
    if (settings.shard.Active()) {
        shard = {settings.shard, settings.dataDirectory, std::string(study.Name()),
                 study.NormalisedPlan(), study.SummaryFileName()};
        if (auto refusal = PrepareShardDirectory(shard))
            return RefuseRun(sink, *refusal);
        jobs.shard = &shard;
    }
    if (std::optional<StudyOutcome> end = RunPlan(plan, sink, study.Stage(), steps, jobs)) {
        if (end->status == StudyStatus::Stopped && !settings.shard.Active())
            study.ChartWhatCompleted(plan);
        return *end;
    }
    if (std::optional<StudyOutcome> end = study.Finish(plan, settings.shard.Active()))
        return *end;
    sink.RunDelivered();
    return {};
}

StudyOutcome Choose(StudyDescription& study, const RunSettings& settings, StudySink& sink) {
    if (const std::optional<Refusal> refusal = study.ReadFields())
        return RefuseRun(sink, refusal->message);
    const FieldReader& fields = study.Fields();
    if (fields.EarlierData())
        return ChartOfEarlierData(study, fields.Varying(), sink);
    const std::optional<RunKind> kind = study.ChooseCalculation();
    if (!kind)
        return {};
    return Calculate(study, *kind, fields.Varying(), settings, sink);
}

} // namespace

StudyOutcome RunStudy(StudyDescription& study, const RunSettings& settings, StudySink& sink) {
    const StudyOutcome outcome = Choose(study, settings, sink);
    sink.RunEnded(outcome);
    return outcome;
}

} // namespace quillon
