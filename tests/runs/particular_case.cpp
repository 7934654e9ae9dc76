// The particular study's case of the shared run tests.
#include "particular/recording_view.h"
#include "particular/run.h"
#include "runs/study_cases.h"

namespace quillon::testing {

namespace {

Recorded Run(const CaseRun& r) {
    ParticularSpecification spec;
    spec.dataDirectory = r.dataDirectory;
    spec.clock = FixedClock();
    spec.threads = 1;
    spec.jobs = r.jobs;
    spec.shard = r.shard;
    spec.txtNumber = r.kind == CaseRun::Kind::EarlierData ? "*" : "10, 12";
    // A chart of earlier data has N alone varying: one with N and pi(col) is not programmed.
    const bool earlier = r.kind == CaseRun::Kind::EarlierData;
    spec.txtP_col = earlier ? ".3" : ".3, .5";
    spec.txtTest = r.kind == CaseRun::Kind::Refused ? UnregisteredTestText()
                   : earlier                        ? "1"
                                                    : "1, 4, 8";
    CaseSink<RecordingView> sink(r.stop);
    const StudyOutcome outcome = RunParticularStudy(spec, sink);
    return Record(outcome, sink);
}

} // namespace

StudyCase ParticularCase() {
    return {"particular", Run, "ParticularSummary.txt", 0};
}

} // namespace quillon::testing
