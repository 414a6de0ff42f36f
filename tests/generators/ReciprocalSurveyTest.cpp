// Quality control of the survey with planted faults and a known error model: every fault found
// under the reason it should give, few clean readings flagged, the model's slope recovered.
#include <generators/ReciprocalSurvey.h>

#include <services/QualityControl.h>

#include <gtest/gtest.h>

#include <map>

using namespace ertkit;
using namespace ertkit::generators;

TEST(ReciprocalSurvey, QualityControlFindsThePlantedFaultsAndTheErrorModel)
{
    ReciprocalSurveySettings settings;
    settings.electrodes = 96;
    ReciprocalSurvey survey = makeReciprocalSurvey(settings);
    std::vector<Result_Reader*> results;
    for (BINX_Data& r : survey.records) results.push_back(&r);
    const QcResult result = runQualityControl(results, QcSettings{});

    const std::map<PlantedFault, QcReason> expected{{PlantedFault::Contact, QcReason::Contact},
                                                    {PlantedFault::Reversed, QcReason::Negative},
                                                    {PlantedFault::Noise, QcReason::Voltage},
                                                    {PlantedFault::Decay, QcReason::Decay}};
    std::map<PlantedFault, std::pair<std::size_t, std::size_t>> found; // found, planted
    std::size_t clean = 0, clean_flagged = 0;
    for (std::size_t i = 0; i < survey.truth.size(); ++i) {
        const PlantedFault fault = survey.truth[i].fault;
        const QcReasons reasons = result.readings[i].reasons;
        if (fault == PlantedFault::None) {
            ++clean;
            clean_flagged += reasons != 0;
            continue;
        }
        auto& [hit, planted] = found[fault];
        ++planted;
        hit += (reasons & qcBit(expected.at(fault))) != 0;
    }
    for (const auto& [fault, counts] : found) {
        EXPECT_GT(counts.second, 0u) << plantedFaultName(fault);
        EXPECT_EQ(counts.first, counts.second) << plantedFaultName(fault);
    }
    EXPECT_EQ(found.size(), 4u);
    EXPECT_LE(static_cast<double>(clean_flagged), 0.02 * static_cast<double>(clean));
    ASSERT_EQ(result.model.source, ErrorSource::Reciprocals);
    EXPECT_NEAR(result.model.resistance.b, settings.error_b, 0.25 * settings.error_b);
    EXPECT_GE(result.model_pairs, 100u);
}

TEST(ReciprocalSurvey, WithoutReciprocalsErrorsComeFromTheStackWithTheFloor)
{
    ReciprocalSurveySettings settings;
    settings.reciprocal_share = 0.0;
    settings.faults = false;
    ReciprocalSurvey survey = makeReciprocalSurvey(settings);
    std::vector<Result_Reader*> results;
    for (BINX_Data& r : survey.records) results.push_back(&r);
    const QcResult result = runQualityControl(results, QcSettings{});
    EXPECT_EQ(result.model.source, ErrorSource::Stack);
    EXPECT_EQ(result.pairs, 0u);
    ASSERT_FALSE(result.notes.empty());
    for (const QcReading& r : result.readings) EXPECT_GE(*r.err, 0.02);
}
