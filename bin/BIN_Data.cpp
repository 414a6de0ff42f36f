// Reading one BIN record and completing it from its companion recordings' names.

#include <bin/BIN_Data.h>

#include <bin/BIN_Bytes.h>
#include <bin/BIN_File.h>
#include <fullwave/IAB_VMN_File.h>
#include <host/VELTLogger.h>

#include <stdexcept>

// The record arrives in two reads: its first two fields, which tell whether the version is
// one this reader knows, then the rest. Its fields are then taken in file order. The stream
// is good before a field exactly when every byte before that field could be read, so
// checking the field's offset against the bytes obtained reproduces the check made before
// each field, array element and name byte. Bytes past the end of the file read as zero.
class BIN_Data::Fields {
public:
    static constexpr std::size_t s_version_end = 4;

    explicit Fields(std::istream& in) : m_in(in)
    {
        if (!in.good()) fail();
        load(s_version_end);
    }

    // Reads up to n more bytes; nothing once a read has come up short.
    void load(std::size_t n)
    {
        if (!m_in.good() || m_available + n > m_bytes.size()) return;
        m_in.read(reinterpret_cast<char*>(m_bytes.data() + m_available), static_cast<std::streamsize>(n));
        m_available += static_cast<std::size_t>(m_in.gcount());
    }

    template <typename T>
    T next()
    {
        if (m_offset > m_available) fail();
        const T value = bin_bytes::decode<T>(m_bytes.data() + m_offset);
        m_offset += sizeof(T);
        return value;
    }

    template <typename T, std::size_t N>
    void next(std::array<T, N>& values)
    {
        for (T& value : values) value = next<T>();
    }

private:
    [[noreturn]] static void fail() { throw std::runtime_error("error reading file"); }

    std::istream& m_in;
    std::array<unsigned char, BIN_Data::s_size_in_bytes> m_bytes{};
    std::size_t m_available = 0;
    std::size_t m_offset = 0;
};

namespace {

// Only the leading positive durations count; a negative one or a zero ends them, and any
// non-zero duration after that end is reported and ignored. Applied as each one is read.
class WindowRule {
public:
    void take(std::size_t j, float tm)
    {
        if (tm < 0.0f) {
            VELTLogger::warning() << "negative TM" << j << " found, skipping next" << std::endl;
            m_stopped = true;
        } else if (tm == 0.0f) {
            m_stopped = true;
        } else if (m_stopped) {
            VELTLogger::warning() << "non zero TM" << j << " found after zero one, ignoring" << std::endl;
        } else {
            ++m_count;
        }
    }
    std::uint32_t count() const { return m_count; }

private:
    bool m_stopped = false;
    std::uint32_t m_count = 0;
};

std::string companionPath(const BIN_File* file, std::int16_t index)
{
    // The stored index is signed; -1 and the like become huge unsigned indexes.
    const auto unsigned_index = static_cast<unsigned int>(static_cast<int>(index));
    if (file == nullptr) throw std::out_of_range("no name list to resolve file index " + std::to_string(unsigned_index));
    return file->getFullPath(unsigned_index);
}

// |a - b| < one day without the signed overflow a subtraction of two far-apart extreme
// times would hit: the distance of any two 64-bit tick counts fits in 64 unsigned bits.
bool withinOneDay(const HighPrecisionTime& a, const HighPrecisionTime& b)
{
    const auto ua = static_cast<std::uint64_t>(a.ticks());
    const auto ub = static_cast<std::uint64_t>(b.ticks());
    const std::uint64_t distance = a.ticks() >= b.ticks() ? ua - ub : ub - ua;
    return distance < static_cast<std::uint64_t>(HighPrecisionTime::s_day.ticks());
}

} // namespace

BIN_Data::BIN_Data(std::istream& stream, const BIN_File* file)
{
    Fields fields(stream);
    read(fields);
    resolveCompanions(file);
}

void BIN_Data::read(Fields& fields)
{
    m_disposition_code = fields.next<std::int16_t>();
    m_version = fields.next<std::int16_t>();
    if (m_version != 3) throw std::runtime_error("bin data version not implemented");
    fields.load(s_size_in_bytes - Fields::s_version_end);
    m_pulse_duration_ms = fields.next<float>();
    m_delay_ms = fields.next<float>();
    m_unused_12 = fields.next<std::int16_t>();
    m_ignore = fields.next<std::int16_t>();
    fields.next(m_x);
    fields.next(m_y);
    fields.next(m_z);
    m_spontaneous_potential = fields.next<float>();
    m_polarization_voltage = fields.next<float>();
    m_injected_current = fields.next<float>();
    m_unused_76 = fields.next<float>();
    m_m = fields.next<float>();
    m_unused_84 = fields.next<float>();
    WindowRule windows;
    for (std::size_t j = 0; j < m_tm.size(); ++j) {
        m_tm[j] = fields.next<float>();
        windows.take(j, m_tm[j]);
    }
    m_n_tm = windows.count();
    fields.next(m_window_m);

    const auto channel = fields.next<std::uint8_t>();
    m_channel = channel & 0x0F;
    m_channel_high = static_cast<std::uint8_t>(channel >> 4);
    const auto flags = fields.next<std::uint8_t>();
    m_overload = (flags & 0x01) != 0;
    m_flag_bit1 = (flags & 0x02) != 0;
    m_not_noisy = (flags & 0x04) != 0;
    m_gap_filler = (flags & 0x08) != 0;

    m_unused_250 = fields.next<std::int16_t>();
    for (char& c : m_orig_file) c = static_cast<char>(fields.next<std::uint8_t>());
    m_gps_x = fields.next<float>();
    m_gps_y = fields.next<float>();
    m_n_stack = fields.next<float>();
    m_n_stack += 2.0f;
    m_rs_check = fields.next<float>();
    m_vab = fields.next<float>();
    m_tx_bat = fields.next<float>();
    m_rx_bat = fields.next<float>();
    m_temperature = fields.next<float>();
    m_start_time = fields.next<double>();
    m_i_index = fields.next<std::int16_t>();
    m_v_index = fields.next<std::int16_t>();
}

void BIN_Data::resolveCompanions(const BIN_File* file)
{
    HighPrecisionTime time_i;
    HighPrecisionTime time_v;
    bool is_vmn = false;
    IAB_VMN_File::GetSerials(companionPath(file, m_i_index), m_serial_i, m_user_serial_i, is_vmn, time_i);
    if (is_vmn) throw std::runtime_error("problem with I file name");
    IAB_VMN_File::GetSerials(companionPath(file, m_v_index), m_serial_v, m_user_serial_v, is_vmn, time_v);
    if (!is_vmn) throw std::runtime_error("problem with V file name");

    // The recordings' names carry the exact start; the stored number is only trusted when
    // neither name is within a day of it. The voltage recording wins.
    const HighPrecisionTime stored = HighPrecisionTime::convertDateTime(m_start_time);
    if (withinOneDay(stored, time_v))
        m_start_time = HighPrecisionTime::convertDateTime(time_v);
    else if (withinOneDay(stored, time_i))
        m_start_time = HighPrecisionTime::convertDateTime(time_i);
}
