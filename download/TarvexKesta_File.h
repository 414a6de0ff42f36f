#pragma once

#include <host/LittleEndian.h>

#include <download/LinkSettings.h>
#include <download/TPortVirt.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

class ProgressCallback;

// One download from a resistivity meter: the link, the exchange and what it brought back
// (the measures, and for a raw transfer the full-wave recording the meter sent).
class TarvexKesta_File {
public:
    // Bytes 0-83 of a measure record, the same in every record version. Every field sits at its
    // natural alignment, so the plain layout is the wire layout byte for byte (the assertions
    // below keep it so); records are copied from the link as they come.
    struct TMeasureHead {
        char name[12];                // NUL-terminated; NO_DATA_STORED marks an empty memory slot
        std::uint16_t flags;          // bits 0-3 channel, 4-7 code, 8 overload, 10 trigger sync, 11 gap filler
        std::uint16_t quadrupole;     // number of the measured quadrupole
        std::uint8_t unused_16[4];
        std::int32_t array_code;      // electrode array, 1 to 6
        std::uint16_t injection_time; // tens of milliseconds
        std::uint8_t unused_26[2];
        std::uint16_t delay;          // before the first IP window, unit of the windows
        std::uint16_t windows[20];    // widths of the IP windows
        std::uint8_t unused_70[2];
        float gps_x;                  // sexagesimal
        float gps_y;                  // sexagesimal
        std::uint8_t unused_80[4];

        // The name up to its first NUL, never reading past the 12 bytes of the field.
        std::string nameText() const;
        bool isEmptySlot() const;
        void setName(const std::string& text);
        unsigned int channel() const { return flags & 0xFu; }
        unsigned int code() const { return (flags >> 4) & 0xFu; }
        bool overload() const { return (flags & 0x100u) != 0; }
        bool trigSync() const { return (flags & 0x400u) != 0; }
        bool gapFiller() const { return (flags & 0x800u) != 0; }
    };

    // Record version 1.
    struct TMeasure {
        static constexpr std::size_t s_size = 236;
        static constexpr std::size_t s_summed_offset = 12;
        static constexpr std::size_t s_summed_size = 224;

        TMeasureHead head;
        float electrodes[8]; // A x, A y, B x, B y, M x, M y, N x, N y
        std::uint8_t unused_116[8];
        float aux_real2;
        float deviation;     // of Vp when m is 0, else of m
        float stacks;
        float rs_check;
        float sp;
        float vp;
        float current;
        float m;
        float mppx[20];

        // Sum of the summed bytes, each as an unsigned byte: what the meter's checksum carries.
        std::uint32_t byteSum() const;
    };

    // Record versions 2 and 3 (272 bytes on the link) with the time stamp kept beside them.
    struct TZMeasure {
        static constexpr std::size_t s_size = 272;
        static constexpr std::size_t s_summed_offset = 12;
        static constexpr std::size_t s_summed_size = 260;

        TMeasureHead head;
        float electrodes[12]; // A x, y, z; B x, y, z; M x, y, z; N x, y, z
        std::uint8_t unused_132[12];
        float aux_real2;
        float deviation;      // of Vp when m is 0, else of m
        float stacks;
        float rs_check;
        float vab;
        float tx_bat;
        float rx_bat;
        float rx_temp;
        float sp;
        float vp;
        float current;
        float m;
        float mppx[20];
        std::uint32_t time_stamp; // whole seconds; not on the link as part of the record

        std::uint32_t byteSum() const;
    };

    static constexpr int M_WINDOW = 20;
    static constexpr int GEO_SPACING = 8;
    static constexpr int NB_CHANNEL_MAX = 10;
    static constexpr int DOWNLOAD_VERSION = 1;
    static constexpr int REMOTE_VERSION = 1;
    static constexpr int NEW_DATADOWNLOAD = 0x55;
    static constexpr int OLD_DATADOWNLOAD = 0x0F;
    static constexpr char CTRL_USED = 0x55;
    static constexpr int RAW_DOWNLOAD_VERSION = 0x40000003;
    static constexpr int CURRAW_DOWNLOAD_VERSION = 0x50000003;
    static constexpr unsigned char END_BYTE = 0x81;
    static const std::string NO_DATA_STORED;
    static const std::uint64_t s_synchronization_text_id;
    static const std::uint64_t s_connected_to_at_text_id;

    TarvexKesta_File(std::function<bool(TPortVirt::TypePort)> port_callback, std::function<void()> on_open_failure,
                     std::function<bool()> on_open_success, std::function<void(int, std::string)> on_error,
                     TPortVirt::TypePort port_type, std::string text);
    ~TarvexKesta_File();
    TarvexKesta_File(const TarvexKesta_File&) = delete;
    TarvexKesta_File& operator=(const TarvexKesta_File&) = delete;

    // Fetches the measures stored between the two absolute memory indexes. Failures of the
    // exchange go to the error callback; see docs/link-protocol.md for the link itself.
    void download(unsigned int first, unsigned int last, ProgressCallback& progress, std::string name);

    bool isContainFW() const;
    bool isV() const;
    // Writes the raw transfer of the last download as .vmn or .iab beside `path`.
    void writeFullWave(std::filesystem::path path) const;

protected:
    bool initUSB();
    bool initWifi();
    void importRawFile(std::string path);

    std::unique_ptr<TPortVirt> m_port;
    TPortVirt::TypePort m_port_type;
    std::string m_text;
    std::string m_second_text;
    std::function<bool(TPortVirt::TypePort)> m_port_callback;
    std::function<void()> m_on_open_failure;
    std::function<bool()> m_on_open_success;
    std::function<void(int, std::string)> m_on_error;
    std::stringstream m_raw_stream;
    int m_version = 0;
    std::vector<TZMeasure> m_tab_tzmeasure;
    std::vector<TMeasure> m_tab_tmeasure;
    // How this object's downloads reach the meter (the device, and the test hooks): a host
    // sets them through a class of its own (services/DownloadSession). Left as they are, the
    // port looks for the meter.
    LinkSettings m_link;

private:
    friend class BINX_File;
    friend class BINX_Data;

    bool openLink();
    int handshake(unsigned int first, unsigned int last);
    void sendWord(std::uint32_t word);
    void sendName(std::string name);
    bool receiveWord(std::uint32_t& word, int timeout_ms);
    // Reads a word; the number of its bytes that came (4 when whole).
    int readWord(std::uint32_t& word, int timeout_ms);
    void dropAndRetry(int sleep_ms);
    void receiveRecords(unsigned int first, unsigned int last, ProgressCallback& progress);
    void receiveRaw(ProgressCallback& progress);
    void endAfterFailure();
};

// The records are filled straight from the link, so their layout must be the meter's.
static_assert(std::is_standard_layout_v<TarvexKesta_File::TMeasure> && std::is_trivially_copyable_v<TarvexKesta_File::TMeasure>);
static_assert(std::is_standard_layout_v<TarvexKesta_File::TZMeasure> && std::is_trivially_copyable_v<TarvexKesta_File::TZMeasure>);
static_assert(sizeof(TarvexKesta_File::TMeasureHead) == 84);
static_assert(offsetof(TarvexKesta_File::TMeasureHead, flags) == 12 && offsetof(TarvexKesta_File::TMeasureHead, quadrupole) == 14);
static_assert(offsetof(TarvexKesta_File::TMeasureHead, array_code) == 20 && offsetof(TarvexKesta_File::TMeasureHead, injection_time) == 24);
static_assert(offsetof(TarvexKesta_File::TMeasureHead, delay) == 28 && offsetof(TarvexKesta_File::TMeasureHead, windows) == 30);
static_assert(offsetof(TarvexKesta_File::TMeasureHead, gps_x) == 72 && offsetof(TarvexKesta_File::TMeasureHead, gps_y) == 76);
static_assert(sizeof(TarvexKesta_File::TMeasure) == TarvexKesta_File::TMeasure::s_size);
static_assert(offsetof(TarvexKesta_File::TMeasure, electrodes) == 84 && offsetof(TarvexKesta_File::TMeasure, aux_real2) == 124);
static_assert(offsetof(TarvexKesta_File::TMeasure, deviation) == 128 && offsetof(TarvexKesta_File::TMeasure, stacks) == 132);
static_assert(offsetof(TarvexKesta_File::TMeasure, rs_check) == 136 && offsetof(TarvexKesta_File::TMeasure, sp) == 140);
static_assert(offsetof(TarvexKesta_File::TMeasure, vp) == 144 && offsetof(TarvexKesta_File::TMeasure, current) == 148);
static_assert(offsetof(TarvexKesta_File::TMeasure, m) == 152 && offsetof(TarvexKesta_File::TMeasure, mppx) == 156);
static_assert(sizeof(TarvexKesta_File::TZMeasure) == TarvexKesta_File::TZMeasure::s_size + 4);
static_assert(offsetof(TarvexKesta_File::TZMeasure, electrodes) == 84 && offsetof(TarvexKesta_File::TZMeasure, aux_real2) == 144);
static_assert(offsetof(TarvexKesta_File::TZMeasure, deviation) == 148 && offsetof(TarvexKesta_File::TZMeasure, stacks) == 152);
static_assert(offsetof(TarvexKesta_File::TZMeasure, rs_check) == 156 && offsetof(TarvexKesta_File::TZMeasure, vab) == 160);
static_assert(offsetof(TarvexKesta_File::TZMeasure, tx_bat) == 164 && offsetof(TarvexKesta_File::TZMeasure, rx_bat) == 168);
static_assert(offsetof(TarvexKesta_File::TZMeasure, rx_temp) == 172 && offsetof(TarvexKesta_File::TZMeasure, sp) == 176);
static_assert(offsetof(TarvexKesta_File::TZMeasure, vp) == 180 && offsetof(TarvexKesta_File::TZMeasure, current) == 184);
static_assert(offsetof(TarvexKesta_File::TZMeasure, m) == 188 && offsetof(TarvexKesta_File::TZMeasure, mppx) == 192);
static_assert(offsetof(TarvexKesta_File::TZMeasure, time_stamp) == 272);
