#pragma once

#include <generators/SampleSurvey.h>

#include <host/ProgressCallback.h>

#include <filesystem>
#include <string>
#include <vector>

namespace ertkit::generators {

// The files of a sample survey as a field crew brings them back: for each array a voltage
// recording (one start per injection, one channel per potential dipole) and a current
// recording; a BINX file (version 6) of every reading whose records refer to those recordings
// by name and carry their serial numbers; and a legacy BIN file of the Wenner readings. The
// BIN file names, for each injection, the current and voltage recordings its receivers would
// have started for it (the name carries the injection's time, which the BIN reader takes as
// the record's); the sample keeps all the starts of an array in one recording, so only the
// first injection's names are files beside it, and the others' starts are found in them by
// time (services/CompanionRecordings.h). Beside them, a result file of the line measured with
// reciprocals and planted faults, and its truth (ReciprocalSurvey.h). A survey with noise
// settings also gets the truth of its decays and its noise settings (SampleTruth.h).
struct SampleFiles {
    std::vector<std::string> recordings; // voltage then current recording of each array
    std::string binx;
    std::string bin;
    std::string reciprocal, reciprocal_truth; // the line measured with reciprocals and planted faults
    std::string decay_truth, clean_stacks, noise; // with noise settings only
};

// The receivers: voltage receiver user serial 123, serial 4567; current receiver 124, 4568.
inline constexpr unsigned short s_sample_voltage_serial = 4567, s_sample_voltage_user_serial = 123;
inline constexpr unsigned short s_sample_current_serial = 4568, s_sample_current_user_serial = 124;
// The instruments' clocks keep UTC. A legacy BIN record takes its time from the name of its
// voltage recording, which carries the receiver's clock: only with that clock on UTC do the
// BIN and the BINX records of one injection carry the same UTC time.
inline constexpr int s_sample_gmt_offset_hours = 0;
// The folder as the instrument's computer stored it in the result files.
inline constexpr const char* s_sample_stored_folder = "D:\\survey\\line1";

// The recording name the receivers give: tag, user serial, '-', serial, '@', local date and
// time as MMDDYY_HHMMSS, extension.
std::string sampleRecordingName(bool voltage, const HighPrecisionTime& utc_start);

// Writes every file into `folder` (created if needed) and returns their names.
SampleFiles writeSampleFiles(const SampleSurvey& survey, const std::filesystem::path& folder, ProgressCallback& progress);

} // namespace ertkit::generators
