#pragma once

#include <cstdint>

// Enumerations of the host's times-series framework. Readers produce the numeric values
// their formats define; only a few values carry a name here.

// A and B inject current, M and N measure potential.
enum class ElectrodeName : std::uint8_t { A = 0, B = 1, M = 2, N = 3 };

enum class StackPhase : std::uint8_t { Unknown = 0, Positive = 1, Negative = 2 };

// Values 0, 1 and 2 are produced; their duty-cycle factors are in InjectionData.
enum class InjectionType : std::uint8_t { FullDutyCycle = 0, HalfDutyCycle = 1, Other = 2 };

// 1 current receiver, 2-4 voltage receivers, other values result-file instruments.
enum class DeviceType_t : std::int32_t { Unknown = 0, CurrentReceiver = 1, VoltageReceiver = 2 };

enum class ElectrodeDisposition : std::int32_t { Unknown = 0 };

enum class MErrorUnit : std::uint8_t { Percent = 0, Absolute = 1 };

enum class ResultComputationType : std::uint8_t { Standard = 0 };

enum class PolarizationComputeType : std::uint8_t { None = 0, Default = 1 };

enum class StatisticFunctionType : std::uint8_t { Mean = 0 };
