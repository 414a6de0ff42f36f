#include <fullwave/IAB_VMN_PageHeader.h>

#include <chrono>
#include <cstring>

const std::string IAB_VMN_PageHeader::s_name_raw_cfg = "RAW_CONFIG";
const std::string IAB_VMN_PageHeader::s_name_raw = "RAW";

namespace {

// Whole seconds since 1970-01-01 00:00 UTC by the system clock.
std::int64_t systemSeconds()
{
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace

IAB_VMN_PageHeader::IAB_VMN_PageHeader(const IAB_VMN_RawPage& raw, bool fix_gps_date)
    : m_ctrl(static_cast<char>(raw.bytes[0])), m_date(raw.signedWord(3))
{
    std::memcpy(m_name, raw.bytes + 1, sizeof m_name);
    if (fix_gps_date) fixGpsDate();
}

std::string IAB_VMN_PageHeader::get_name() const
{
    const void* zero = std::memchr(m_name, 0, sizeof m_name);
    const std::size_t length = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - m_name) : sizeof m_name;
    return std::string(m_name, length);
}

void IAB_VMN_PageHeader::fixGpsDate()
{
    if (!isRaw() || !hasRawName()) return;
    // Compared as unsigned, so a negative date never qualifies.
    if (static_cast<std::uint64_t>(m_date) >= static_cast<std::uint64_t>(s_date_comp_bug_gps)) return;
    if (m_date + s_offset_date_bug_gps > systemSeconds()) return;
    m_date += s_offset_date_bug_gps;
}
