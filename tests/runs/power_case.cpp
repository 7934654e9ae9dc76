// The power study's case of the shared run tests.
#include "power/run.h"
#include "runs/study_cases.h"
#include "support/recording_sink.h"

namespace quillon::testing {

namespace {

Recorded Run(const CaseRun& r) {
    PowerSpecification spec;
    spec.dataDirectory = r.dataDirectory;
    spec.clock = FixedClock();
    spec.threads = 1;
    spec.jobs = r.jobs;
    spec.shard = r.shard;
    spec.txtNumber = r.kind == CaseRun::Kind::EarlierData ? "*" : "10, 14";
    spec.txtP2 = ".4, .6";
    spec.txtTest = r.kind == CaseRun::Kind::Refused ? UnregisteredTestText() : "1, 5, 9";
    CaseSink<RecordingSink<PowerSink>> sink(r.stop);
    const StudyOutcome outcome = RunPowerStudy(spec, sink);
    return Record(outcome, sink);
}

} // namespace

StudyCase PowerCase() {
    return {"power", Run, "PowerSummary.txt", 0};
}

} // namespace quillon::testing
