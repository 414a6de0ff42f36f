#pragma once

#include <binx/BINX_File.h>
#include <download/LinkSettings.h>
#include <download/TarvexKesta_File.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace ertkit {

// One download from a meter on a given serial device: the measures, converted to a BINX file,
// and the full-wave recording a raw transfer brings. What went wrong is collected rather than
// thrown, in the order it happened, for the front end to report in its own way.
class DownloadSession {
public:
    struct Failure {
        bool port = false; // the port could not be opened (message: which device, and why); otherwise the meter's error
        int code = 0;
        std::string message;
    };

    // An empty device lets the port layer look for the meter.
    explicit DownloadSession(std::string device);
    // The device with the link's test hooks (download/LinkSettings.h).
    explicit DownloadSession(LinkSettings link);
    ~DownloadSession();
    DownloadSession(const DownloadSession&) = delete;
    DownloadSession& operator=(const DownloadSession&) = delete;

    // How long the meter may stay silent once records are being transferred before the
    // download fails (download/LinkWatch.h); 10 s unless set. Once set, it bounds the wait for
    // the handshake's words too (20 s each unless set).
    void setSilenceLimit(std::chrono::milliseconds limit)
    {
        m_silence_limit = limit;
        m_limit_set = true;
    }

    // Fetches the measures stored between the memory indexes first and last. The device is the
    // session's own: sessions on other devices may fetch at the same time, each on its own
    // thread. While it waits for the meter, the download asks progress.isCancelled() at
    // least every 100 ms; true ends the exchange as a failure ("download cancelled": end byte
    // sent, port closed) and cancelled() then answers true.
    void fetch(unsigned int first, unsigned int last, const std::string& name, ProgressCallback& progress);
    bool cancelled() const { return m_cancelled; }
    // The measures fetched, as a BINX file. Their start times are those of the meter's time
    // stamps in the receivers' time base (ReceiverTime.h), the base of the recording's pages;
    // records of version 2 carry no stamp and get no time (a date-time number of 0). After a
    // failure, the measures that arrived before it.
    BINX_File measures(ProgressCallback& progress) const;
    // Measures the last fetch brought (before its failure, if it failed).
    std::size_t measureCount() const;
    // Memory slots asked for by the last fetch (last - first + 1).
    std::uint64_t slotsAsked() const { return m_slots_asked; }

    const std::vector<Failure>& failures() const { return m_failures; }
    bool hasRecording() const;
    // Writes the recording of a raw transfer beside `output`, with the extension of the
    // receiver's kind (.vmn or .iab), whole or not at all (WriteError); returns its path. Once
    // only: the transfer is consumed by the writing.
    std::filesystem::path writeRecording(const std::filesystem::path& output) const;

private:
    class Transfer;

    std::chrono::milliseconds m_silence_limit;
    bool m_limit_set = false;
    bool m_cancelled = false;
    std::uint64_t m_slots_asked = 0;
    std::vector<Failure> m_failures;
    std::unique_ptr<Transfer> m_transfer;
};

// A folder of its own in the system's temporary folder, removed with what it holds.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

} // namespace ertkit
