// Writes the survey the quality-control comparison reads: a dipole-dipole line of 2,500
// electrodes, reciprocals over two thirds of it, planted faults (about 50,000 records).
//   qc_probe PATH [ELECTRODES]
#include <generators/ReciprocalSurvey.h>

#include <services/QualityControl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: qc_probe PATH [ELECTRODES]\n");
        return 2;
    }
    ertkit::generators::ReciprocalSurveySettings settings;
    settings.electrodes = argc > 2 ? std::atoi(argv[2]) : 2500;
    const auto survey = ertkit::generators::makeReciprocalSurvey(settings);
    const std::filesystem::path path(argv[1]);
    ertkit::generators::writeReciprocalSurvey(survey, path, std::filesystem::path(path).replace_extension(".truth.csv"));
    std::printf("%zu records\n", survey.records.size());
    if (argc > 3) {
        std::vector<Result_Reader*> results;
        for (const BINX_Data& r : survey.records) results.push_back(const_cast<BINX_Data*>(&r));
        const auto start = std::chrono::steady_clock::now();
        const auto result = ertkit::runQualityControl(results, ertkit::QcSettings{});
        const auto end = std::chrono::steady_clock::now();
        std::printf("runQualityControl: %.1f ms, %zu rejected\n", std::chrono::duration<double, std::milli>(end - start).count(), result.rejected);
    }
    return 0;
}
