#include <generators/SampleNoise.h>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <array>
#include <charconv>
#include <cmath>
#include <stdexcept>

namespace ertkit::generators {

namespace {

struct Setting {
    const char* key;
    double min, max;
    double SampleNoise::*value; // null for the cycles, a whole number
};

// The ranges keep every planted spike within the receiver's range and a recording of a few
// megabytes; mains up to the sampling's own rate alias as they would.
constexpr std::array<Setting, 6> s_settings{{
    {"level", 0.0, 100.0, &SampleNoise::level_mV},
    {"spikes", 0.0, 100.0, &SampleNoise::spikes_per_start},
    {"drift", 0.0, 1000.0, &SampleNoise::drift_mV},
    {"mains", 0.0, 1000.0, &SampleNoise::mains_mV},
    {"hz", 1.0, 1000.0, &SampleNoise::mains_hz},
    {"cycles", 1.0, 16.0, nullptr},
}};

double number(std::string_view key, std::string_view text)
{
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        throw std::invalid_argument(fmt::format("noise setting {}: '{}' is not a number", key, text));
    return value;
}

} // namespace

SampleNoise parseSampleNoise(std::string_view text)
{
    SampleNoise noise;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const std::size_t equals = item.find('=');
        if (equals == std::string_view::npos)
            throw std::invalid_argument(fmt::format("noise setting '{}' is not KEY=VALUE (keys: level, spikes, drift, mains, hz, cycles)", item));
        const std::string_view key = item.substr(0, equals);
        const Setting* setting = nullptr;
        for (const Setting& s : s_settings)
            if (key == s.key) setting = &s;
        if (setting == nullptr)
            throw std::invalid_argument(fmt::format("unknown noise setting '{}' (keys: level, spikes, drift, mains, hz, cycles)", key));
        const double value = number(key, item.substr(equals + 1));
        if (value < setting->min || value > setting->max)
            throw std::invalid_argument(fmt::format("noise setting {}={} is outside {} to {}", key, value, setting->min, setting->max));
        if (setting->value != nullptr) {
            noise.*(setting->value) = value;
        } else {
            if (value != std::floor(value)) throw std::invalid_argument(fmt::format("noise setting cycles={} is not a whole number", value));
            noise.cycles = static_cast<int>(value);
        }
    }
    return noise;
}

std::string sampleNoiseJson(const SampleNoise& noise, unsigned int seed)
{
    const nlohmann::ordered_json json{{"seed", seed},
                                      {"level_mV", noise.level_mV},
                                      {"spikes_per_start", noise.spikes_per_start},
                                      {"drift_mV", noise.drift_mV},
                                      {"mains_mV", noise.mains_mV},
                                      {"mains_hz", noise.mains_hz},
                                      {"cycles", noise.cycles}};
    return json.dump(2) + "\n";
}

} // namespace ertkit::generators
