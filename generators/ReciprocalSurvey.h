#pragma once

#include <binx/BINX_Data.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ertkit::generators {

// A dipole-dipole line measured in normal and, over part of it, reciprocal configuration, with
// a known error model and planted faults: what quality control is checked against.
//
// Each reading's R is the truth plus a normal error of standard deviation a + b |R| (the
// normal and the reciprocal reading of a pair drawn independently), its M the truth plus one
// of a_m + b_m |M|. The truth: an earth whose resistivity rises from 60 to 240 ohm.m along
// the line and with depth, and whose chargeability decays exponentially after switch-off.
struct ReciprocalSurveySettings {
    std::uint32_t seed = 1;
    int electrodes = 24;
    double spacing = 5.0;
    int dipoles = 2;               // dipole lengths of 1 .. dipoles spacings
    int levels = 6;                // n = 1 .. levels
    double reciprocal_share = 2.0 / 3.0; // readings whose middle lies within this share of the line get a reciprocal
    double error_a_ohm = 0.0001, error_b = 0.02;
    double m_error_a = 0.5, m_error_b = 0.05;
    bool faults = true;
};

// The faults planted: a bad contact at one electrode (its contact check high and the readings
// through it ten times noisier), a cable reversed on one injection's potential dipoles (R and
// rho_a negative), readings in the noise at the deepest level near the line's end (Vp of
// 0.05 mV, half its own deviation), and decays broken by a jump in one window.
enum class PlantedFault { None, Contact, Reversed, Noise, Decay };
const char* plantedFaultName(PlantedFault fault);

struct ReciprocalReading {
    std::array<int, 4> electrodes{}; // A, B, M, N, numbered along the line from 0
    double r_true = 0.0;             // ohm
    double m_true = 0.0;             // mV/V
    PlantedFault fault = PlantedFault::None;
    bool reciprocal = false;         // measured as the reciprocal of an earlier reading
};

struct ReciprocalSurvey {
    std::vector<ReciprocalReading> truth;
    std::vector<BINX_Data> records;
};

ReciprocalSurvey makeReciprocalSurvey(const ReciprocalSurveySettings& settings);

// Writes the survey's BINX file and, beside it, its truth as CSV (index, fault, reciprocal,
// r_true_ohm, m_true_mV_V).
void writeReciprocalSurvey(const ReciprocalSurvey& survey, const std::filesystem::path& binx, const std::filesystem::path& truth);

} // namespace ertkit::generators
