// The maximum study's case of the shared run tests.
#include "maxima/run.h"
#include "runs/study_cases.h"
#include "support/recording_sink.h"

namespace quillon::testing {

namespace {

Recorded Run(const CaseRun& r) {
    MaximumSpecification spec;
    spec.dataDirectory = r.dataDirectory;
    spec.clock = FixedClock();
    spec.threads = 1;
    spec.jobs = r.jobs;
    spec.shard = r.shard;
    spec.number = r.kind == CaseRun::Kind::EarlierData ? "*" : "6, 8";
    spec.test = r.kind == CaseRun::Kind::Refused ? UnregisteredTestText() : "1, 8";
    spec.accuracy = ".01";
    CaseSink<RecordingSink<MaximumSink>> sink(r.stop);
    const StudyOutcome outcome = RunMaximumStudy(spec, sink);
    return Record(outcome, sink);
}

} // namespace

StudyCase MaximumCase() {
    return {"maximum", Run, "MaximaSummary.txt", 14};
}

} // namespace quillon::testing
