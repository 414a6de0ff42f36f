// The injection traces the viewer sends: cut into buckets that keep each bucket's extremes and
// the samples flagged (overload, PPS), so that a spike or a flag is never lost to the cut.
#include "ViewReading.h"

#include "support/BinxRecordBuilder.h"

#include <services/ColeColeDecay.h>
#include <services/ResultValues.h>

#include <gtest/gtest.h>

#include <limits>
#include <tuple>
#include <nlohmann/json.hpp>

namespace {

using ertkit_cli::traceBuckets;

TEST(ViewTrace, BucketsKeepExtremesAndFlaggedSamples)
{
    struct Case {
        const char* what;
        std::vector<double> values;
        std::vector<bool> overload, pps;
        std::size_t buckets;
        std::size_t per_bucket;
        std::vector<double> lo, hi;
        std::vector<std::size_t> overloaded, pulses;
    };
    const std::vector<Case> cases{
        {"short trace: one sample a bucket", {1, -2, 3}, {false, true, false}, {true, false, false}, 4, 1, {1, -2, 3}, {1, -2, 3}, {1}, {0}},
        {"a spike inside a bucket", {0, 0, 9, 0, 0, -7, 0}, {}, {}, 3, 3, {0, -7, 0}, {9, 0, 0}, {}, {}},
        {"a flag on the last, short bucket", {1, 2, 3, 4, 5}, {false, false, false, false, true}, {false, false, true, false, false}, 2, 3,
         {1, 4}, {3, 5}, {1}, {0}},
        {"flags shorter than the values", {1, 2, 3, 4}, {false, false}, {true}, 2, 2, {1, 3}, {2, 4}, {}, {0}},
        {"no values", {}, {}, {}, 4, 1, {}, {}, {}, {}},
    };
    for (const Case& c : cases) {
        const auto b = traceBuckets(c.values, c.overload, c.pps, c.buckets);
        EXPECT_EQ(b.per_bucket, c.per_bucket) << c.what;
        EXPECT_EQ(b.lo, c.lo) << c.what;
        EXPECT_EQ(b.hi, c.hi) << c.what;
        EXPECT_EQ(b.overload, c.overloaded) << c.what;
        EXPECT_EQ(b.pps, c.pulses) << c.what;
    }
}

// The fitted Cole-Cole values are sent where the record keeps any, and nothing is made up
// for one that keeps none; a record with no recording beside it has no injection.
TEST(ViewReading, GivesTheFittedModelOnlyWhereTheRecordKeepsOne)
{
    BINX_Data record = ertkit_test::sampleBinxRecord(3);
    record.injectionCode = 0; // with an off time, where a decay is drawn
    ASSERT_NE(record.coleColeTau, 0.0);
    const ertkit_test::TempDir dir;
    const auto reading = ertkit_cli::viewReading(record, ertkit::resultValues(record), dir.path() / "alone.binx");
    EXPECT_EQ(std::tuple(reading["model"]["m"].get<double>(), reading["model"]["tau"].get<double>(), reading["model"]["c"].get<double>()),
              std::tuple(record.coleColeM, record.coleColeTau, record.coleColeC));
    // Its decay as reprocessing's model reads it, the page drawing no formula of its own.
    const auto curve = ertkit::coleColeDecayCurve(record, *ertkit::storedColeCole(record), std::numeric_limits<double>::infinity());
    ASSERT_FALSE(curve.empty());
    ASSERT_EQ(reading["model"]["curve"].size(), curve.size());
    EXPECT_EQ(reading["model"]["curve"][0][1].get<double>(), curve.front().m);
    // No recording beside it: the join says why.
    EXPECT_TRUE(reading["injection"]["voltage"].contains("error"));
    EXPECT_TRUE(reading["injection"]["current"].contains("error"));
    record.coleColeM = record.coleColeTau = record.coleColeC = 0.0;
    EXPECT_TRUE(ertkit_cli::viewReading(record, ertkit::resultValues(record), dir.path() / "alone.binx")["model"].is_null());
}

} // namespace
