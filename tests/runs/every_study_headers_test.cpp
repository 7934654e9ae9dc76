// Every study's headers in one translation unit (the build lists them in
// every_study_headers.h): the studies stand side by side, so no two of them may declare the
// same name differently (this file must compile), and each keeps its summary record under
// its own name.
#include "every_study_headers.h"
#include "study/property.h"
#include "study/study_registry.h"

#include <gtest/gtest.h>

#include "core/files.h"

#include <type_traits>

namespace quillon {
namespace {

// A study registered without its folder in the build's list of studies would have its
// headers left out of this file (and its tests unbuilt); one built but not registered
// would be missing from merge, help and the start window.
TEST(EveryStudyHeaders, EveryRegisteredStudyIsBuilt) {
    EXPECT_EQ(static_cast<std::size_t>(BuiltStudyFolders), RegisteredStudies.size());
}

TEST(EveryStudyHeaders, EachStudyKeepsItsOwnRecord) {
    static_assert(!std::is_same_v<ParticularSummaryRecord, MaximaSummaryRecord>);
    static_assert(!std::is_same_v<ParticularSummaryRecord, PowerSummaryRecord>);
    // The design names both studies write come from the one table.
    EXPECT_EQ(DesignName(CrossSectionalStudy), "Cross-sectional study");
    EXPECT_EQ(MaximaSummaryFileName, MaximumStudyEntry.SummaryFile());
    EXPECT_EQ(ParticularSummaryFileName, ParticularStudyEntry.SummaryFile());
    EXPECT_EQ(PowerSummaryFileName, PowerStudyEntry.SummaryFile());
}

// Each study's summary codec: a record has as many fields as its heading names, and its
// heading line is not read back as a record.
template <typename Codec> void ExpectHeadingMatchesLayout(const char* study) {
    SCOPED_TRACE(study);
    EXPECT_EQ(SplitTabs(Codec::Heading()).size(), Codec::Layout.fields);
    EXPECT_TRUE(ReadSummaryRecords<Codec>(Codec::Heading() + "\r\n").empty());
}

TEST(EveryStudyHeaders, SummaryCodecsMatchTheirHeadings) {
    ExpectHeadingMatchesLayout<ParticularSummaryCodec>("particular");
    ExpectHeadingMatchesLayout<MaximaSummaryCodec>("maximum");
    ExpectHeadingMatchesLayout<PowerSummaryCodec>("power");
}

TEST(EveryStudyHeaders, MaximumRecordReadsBackAsWritten) {
    MaximaSummaryRecord record;
    record.date = "071226";
    record.key.design = ComparativeTrial;
    record.key.N = 40;
    record.key.row1 = " 20";
    record.key.test = 5;
    record.key.MEN = 1;
    record.key.MMT = 2;
    record.key.type = Property::MaximumExcess;
    record.key.parameter = .1;
    record.accuracyReached = .001;
    record.maximum.value = .0512345;
    record.maximum.pcol = .25;
    record.maximum.m = 20;
    record.seconds = 3.7;
    const std::string line = MaximaSummaryCodec::Format(record);
    const auto read =
        ReadSummaryRecords<MaximaSummaryCodec>(MaximaSummaryCodec::Heading() + "\r\n" + line);
    ASSERT_EQ(read.size(), 1u);
    const double expected[15] = {0, 0, 2, 40, 20, 5, 1, 2, 2, .1, .001, .0512345, .25, 20, 3};
    for (int k = 2; k <= 14; ++k)
        EXPECT_EQ(read[0].field[k], expected[k]) << "field " << k << " of " << line;
}

} // namespace
} // namespace quillon
