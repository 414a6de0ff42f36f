#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace ertkit {

// The Cole-Cole decay of a polarisable earth under the meters' periodic injection (+ pulse,
// off, - pulse, off, each `pulse` long), in its steady state. The earth's step response to a
// unit current is 1 - m E_c(-(t/tau)^c) (a jump of 1 - m, then the charge-up; E_c the
// Mittag-Leffler function), and the recorded voltage is the sum of the responses to every
// switching of the current. The history is cut after s_cole_cole_periods whole periods: the
// synthetic surveys and the fit share this one model, so a noiseless synthetic decay is
// recovered exactly whatever the cut.

inline constexpr std::size_t s_cole_cole_periods = 4;

struct ColeColeParameters {
    double m = 0.0;   // chargeability, a fraction of the settled voltage
    double tau = 0.0; // time constant, s
    double c = 0.5;   // exponent, 0 < c <= 1
};

// E_c(-s^c) for s >= 0 and 0.05 <= c <= 1 (c is clamped to that range): 1 at s = 0, then
// falling to 0; exp(-s) for c = 1. From a table built on first use, to within about 1e-7.
double coleColeRelaxation(double c, double s);

// The voltage of a unit settled response (rho I = 1) at `u_ms` into the period, for one
// earth and pulse: the relaxation's table is read for its exponent once, so that a waveform
// of many samples costs little more than a sum per sample.
class ColeColeWaveform {
public:
    ColeColeWaveform(const ColeColeParameters& parameters, double pulse_ms);
    ~ColeColeWaveform();
    double voltage(double u_ms) const;

private:
    struct Shape;
    ColeColeParameters m_parameters;
    double m_pulse_ms, m_ln_tau;
    std::unique_ptr<Shape> m_shape;
};
// The same for one sample.
double coleColeVoltage(const ColeColeParameters& parameters, double pulse_ms, double u_ms);

// Where a decay is read in a stacked half cycle of samples 0, 1, ... (sample k at k
// `step_ms` from the pulse's start): the primary voltage as the mean of samples
// [on_first, on_last), each gate as the weighted mean of its samples.
struct DecayGate {
    std::size_t first = 0, last = 0; // samples [first, last) of the half cycle
    bool tapered = false;            // Hann weights, highest at the middle
};
struct DecaySampling {
    double step_ms = 0.0;
    std::size_t pulse = 0;           // samples of the pulse: the switch-off is at sample `pulse`
    std::size_t on_first = 0, on_last = 0;
    std::vector<DecayGate> gates;
};

// The weight of the gate's sample `k` (first <= k < last): 1, or for a tapered gate of n
// samples 0.5 - 0.5 cos(2 pi (k - first + 0.5) / n), so that no sample weighs nothing.
double gateWeight(const DecayGate& gate, std::size_t k);

// The gates' chargeabilities (mV/V) of the model, read as a stack is read: 1000 times the
// gate's weighted mean over the primary voltage.
void coleColeGateValues(const ColeColeParameters& parameters, const DecaySampling& sampling, std::vector<double>& out);

struct ColeColeFit {
    bool ok = false;
    std::string failure;                    // when not ok: why no model was fitted
    ColeColeParameters parameters;
    double m_deviation = 0.0, tau_deviation = 0.0, c_deviation = 0.0; // standard deviations
    double misfit = 0.0;                    // RMS of the residuals in units of the gates' deviations
};

// Fits the model to gate chargeabilities `values` (mV/V) with standard deviations
// `deviations` (gates of no deviation weigh as the smallest given, every gate alike when none
// is given). The chargeability is solved for exactly at each (tau, c), which a grid then
// Levenberg-Marquardt steps search; the deviations are those of the least-squares covariance
// scaled by the misfit. Fails with fewer than four gates or a decay that does not fall.
ColeColeFit fitColeCole(const DecaySampling& sampling, std::span<const double> values, std::span<const double> deviations);

} // namespace ertkit
