#pragma once

#include <fullwave/IAB_VMN_RawPage.h>

#include <cstdint>
#include <string>

// The 16-byte header that opens every page: its kind, a short name and a time stamp.
class IAB_VMN_PageHeader {
public:
    static constexpr char s_ctrl_raw_cfg = 0x43;
    static constexpr char s_ctrl_raw = 0x52;
    // A measure's results, which a meter's raw transfer carries beside the samples.
    static constexpr char s_ctrl_measure = 0x55;
    static const std::string s_name_raw_cfg;
    static const std::string s_name_raw;
    // Receivers whose GPS week counter rolled over write dates 1024 weeks early.
    static constexpr std::int64_t s_offset_date_bug_gps = 619315200;
    static constexpr std::int64_t s_date_comp_bug_gps = 765590400;
    // Length of the page header and of the page body, in 32-bit words (the byte constant
    // keeps its historic value, the body length).
    static constexpr unsigned int s_file_size_in_int = 4;
    static constexpr unsigned int s_file_size_in_bytes = 128;

    // fix_gps_date is true exactly for voltage recordings.
    IAB_VMN_PageHeader(const IAB_VMN_RawPage& raw, bool fix_gps_date);

    char get_ctrl() const { return m_ctrl; }
    std::string get_name() const;
    // The 64-bit pattern of the (possibly corrected) signed date.
    std::uint64_t get_date() const { return static_cast<std::uint64_t>(m_date); }
    bool isRaw() const { return m_ctrl == s_ctrl_raw; }
    bool isRawCfg() const { return m_ctrl == s_ctrl_raw_cfg; }
    bool isMeasure() const { return m_ctrl == s_ctrl_measure; }
    bool hasRawName() const { return get_name() == s_name_raw; }
    bool hasRawCfgName() const { return get_name() == s_name_raw_cfg; }

private:
    void fixGpsDate();

    char m_ctrl;
    char m_name[11];
    std::int64_t m_date;
};
