#include <services/SectionQuantity.h>

#include <fmt/format.h>

#include <stdexcept>

namespace ertkit {

std::string SectionQuantity::title() const
{
    return fmt::format("{} ({})", symbol, unit);
}

const std::vector<SectionQuantity>& sectionQuantities()
{
    static const std::vector<SectionQuantity> quantities{
        {"rhoa", "rhoa_ohm_m", "ρa", "Ω·m", true}, {"m", "m_mV_V", "M", "mV/V", false}, {"r", "r_ohm", "R", "Ω", true},
        {"vp", "vp_mV", "Vp", "mV", true},         {"i", "i_mA", "I", "mA", true},      {"k", "k_m", "K", "m", true},
    };
    return quantities;
}

const SectionQuantity& sectionQuantity(const std::string& name)
{
    for (const SectionQuantity& q : sectionQuantities())
        if (name == q.key || name == q.column) return q;
    throw std::invalid_argument("unknown quantity " + name + " (expected rhoa, m, r, vp, i or k)");
}

} // namespace ertkit
