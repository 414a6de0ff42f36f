#include <sim/MeterSimulator.h>

#include <sim/MeterStream.h>

#include <algorithm>

namespace ertkit_sim {

namespace {

using std::chrono::milliseconds;

constexpr std::uint32_t s_end_index = 0xFFFFFFFF;
constexpr milliseconds s_idle_wait(100);
constexpr milliseconds s_range_wait(2000);
constexpr milliseconds s_name_wait(1000);
// Longest pause of the host between two acknowledges is a few seconds of time-outs and sleeps.
constexpr milliseconds s_ack_wait(10000);
constexpr std::size_t s_raw_chunk = 4096;
constexpr std::size_t s_name_bytes = 11;

bool isRawVersion(std::uint32_t version)
{
    return version == static_cast<std::uint32_t>(TarvexKesta_File::RAW_DOWNLOAD_VERSION) ||
           version == static_cast<std::uint32_t>(TarvexKesta_File::CURRAW_DOWNLOAD_VERSION);
}

// Spoils one sending laid out as index word, optional time stamp, record, checksum word.
void spoil(std::vector<std::uint8_t>& bytes, RecordFault fault, std::size_t record_offset, std::size_t record_size)
{
    switch (fault) {
    case RecordFault::WrongChecksum: {
        const std::size_t at = bytes.size() - 4;
        std::uint32_t checksum = TPortVirt::decodeWord(bytes.data() + at) + 1;
        bytes.resize(at);
        appendWord(bytes, checksum);
        break;
    }
    case RecordFault::GarbledByte: bytes[record_offset + 12 + 5] ^= 0x5A; break;
    case RecordFault::GarbledZeroSum:
        bytes[record_offset + 12 + 5] ^= 0x5A;
        bytes.resize(bytes.size() - 4);
        appendWord(bytes, 0);
        break;
    case RecordFault::DroppedBytes:
        bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(record_offset + record_size / 2),
                    bytes.begin() + static_cast<std::ptrdiff_t>(record_offset + record_size / 2 + 10));
        break;
    case RecordFault::TruncatedRecord: bytes.resize(record_offset + record_size / 2); break;
    case RecordFault::MissingIndex: bytes.clear(); break;
    case RecordFault::TruncatedIndex: bytes.resize(2); break;
    case RecordFault::MissingChecksum: bytes.resize(bytes.size() - 4); break;
    case RecordFault::Garbage: {
        bytes.resize(4);
        std::uint32_t state = 12345;
        for (int i = 0; i < 400; ++i) {
            state = state * 1103515245u + 12345u;
            bytes.push_back(static_cast<std::uint8_t>(0x80 | (state >> 16)));
        }
        break;
    }
    }
}

} // namespace

MeterSimulator::MeterSimulator(MeterMemory memory, MeterBehaviour behaviour)
    : m_memory(std::move(memory)), m_behaviour(std::move(behaviour)), m_thread([this] { run(); })
{
}

MeterSimulator::~MeterSimulator()
{
    m_stop = true;
    m_thread.join();
}

MeterLog MeterSimulator::log() const
{
    const std::lock_guard lock(m_mutex);
    return m_log;
}

bool MeterSimulator::waitUntil(const std::function<bool(const MeterLog&)>& condition, milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return condition(m_log); });
}

void MeterSimulator::update(const std::function<void(MeterLog&)>& change)
{
    {
        const std::lock_guard lock(m_mutex);
        change(m_log);
    }
    m_changed.notify_all();
}

void MeterSimulator::run()
{
    while (!m_stop && !m_gone) {
        std::uint8_t byte = 0;
        if (!readByte(byte, s_idle_wait)) continue;
        if (byte != TPortVirt::s_identify_request) continue;
        update([](MeterLog& log) { ++log.identification_requests; });
        if (m_behaviour.silent) continue;
        m_idle = false;
        serveSession();
        m_idle = true;
    }
}

bool MeterSimulator::readByte(std::uint8_t& byte, milliseconds timeout)
{
    const Status status = m_terminal.readByte(byte, timeout, m_stop);
    if (status == Status::Ok) {
        m_connected = true;
        // Bytes after a session (the end byte) still belong to it; a new request does not.
        const bool to_session = !(m_idle && byte == TPortVirt::s_identify_request);
        update([byte, to_session](MeterLog& log) {
            log.received.push_back(byte);
            if (to_session && !log.sessions.empty()) log.sessions.back().received.push_back(byte);
        });
        return true;
    }
    if (status == Status::HungUp) {
        if (m_connected) update([](MeterLog& log) { ++log.hang_ups; });
        m_connected = false;
        // Nobody holds the device: wait for the next host without spinning.
        if (!m_gone) std::this_thread::sleep_for(milliseconds(10));
    }
    return false;
}

bool MeterSimulator::readWord(std::uint32_t& word, milliseconds timeout)
{
    std::uint8_t bytes[4];
    for (auto& byte : bytes)
        if (!readByte(byte, timeout)) return false;
    word = TPortVirt::decodeWord(bytes);
    return true;
}

bool MeterSimulator::send(const std::vector<std::uint8_t>& bytes)
{
    if (m_mute) return true; // the host cannot tell: it just hears nothing
    std::size_t size = bytes.size();
    const std::size_t limit = std::min(m_behaviour.silent_after_bytes.value_or(SIZE_MAX), m_behaviour.hang_up_after_bytes.value_or(SIZE_MAX));
    const bool cut = m_sent + size >= limit;
    if (cut) size = limit - std::min(limit, m_sent);
    m_sent += size;
    if (size != 0 && m_terminal.write(bytes.data(), size, m_stop) != Status::Ok) return false;
    if (!cut) return true;
    if (m_behaviour.hang_up_after_bytes && m_sent >= *m_behaviour.hang_up_after_bytes) {
        hangUp();
        return false;
    }
    m_mute = true;
    return true;
}

void MeterSimulator::pause(milliseconds meter_time) const
{
    if (meter_time.count() > 0) std::this_thread::sleep_for(meter_time * m_behaviour.time_scale);
}

void MeterSimulator::hangUp()
{
    // Let the host take in what was sent: a vanishing device drops its unread bytes.
    pause(milliseconds(500));
    m_terminal.hangUp();
    m_gone = true;
}

void MeterSimulator::serveSession()
{
    m_sent = 0;
    m_mute = false;
    update([](MeterLog& log) {
        log.sessions.emplace_back();
        log.sessions.back().received.push_back(TPortVirt::s_identify_request);
    });
    const std::string name = m_behaviour.name.substr(0, TPortVirt::s_max_name_length);
    std::vector<std::uint8_t> answer = {TPortVirt::s_identify_answer, static_cast<std::uint8_t>(name.size())};
    answer.insert(answer.end(), name.begin(), name.end());
    if (!send(answer)) return;
    if (m_behaviour.hang_up_before_version) return hangUp();

    const std::uint32_t version = m_behaviour.version.value_or(m_memory.version);
    if (!sendHandshake(version)) return;
    if (!readWord(m_first, s_range_wait) || !readWord(m_last, s_range_wait)) return;
    update([first = m_first, last = m_last](MeterLog& log) {
        auto& session = log.sessions.back();
        session.range_received = true;
        session.first = first;
        session.last = last;
    });
    if (isRawVersion(version)) serveRaw();
    else if (version >= 1 && version <= 3) serveRecords(version);
}

bool MeterSimulator::sendHandshake(std::uint32_t version)
{
    std::vector<std::uint8_t> words = handshakeBytes(version, m_behaviour.size.value_or(m_memory.sizeWord()));
    if (m_behaviour.hang_up_in_size) {
        words.resize(6);
        send(words);
        hangUp();
        return false;
    }
    return send(words);
}

bool MeterSimulator::receiveName()
{
    for (std::size_t i = 0; i < s_name_bytes; ++i) {
        std::uint8_t byte = 0;
        if (!readByte(byte, s_name_wait)) return false;
        update([byte](MeterLog& log) { log.sessions.back().name.push_back(byte); });
        if (byte == 0) break;
    }
    return true;
}

void MeterSimulator::serveRecords(std::uint32_t version)
{
    if (!receiveName()) return;
    std::uint32_t current = m_first;
    for (;;) {
        std::uint8_t ack = 0;
        if (!readByte(ack, s_ack_wait)) return;
        if (ack == TarvexKesta_File::END_BYTE) return;
        if (ack != TarvexKesta_File::NEW_DATADOWNLOAD && ack != TarvexKesta_File::OLD_DATADOWNLOAD) continue;
        update([ack](MeterLog& log) { log.sessions.back().acks.push_back(ack); });
        if (ack == TarvexKesta_File::NEW_DATADOWNLOAD) ++current;
        if (!sendSlot(version, current)) return;
    }
}

bool MeterSimulator::sendSlot(std::uint32_t version, std::uint32_t index)
{
    pause(m_behaviour.answer_delay);
    const std::uint32_t last = m_last;
    const std::size_t slots = version == 1 ? m_memory.measures.size() : m_memory.zmeasures.size();
    if (index > last || index >= slots) {
        const std::uint32_t end = m_behaviour.end_above_last ? last + 1 : s_end_index;
        update([end](MeterLog& log) { log.sessions.back().indexes.push_back(end); });
        std::vector<std::uint8_t> bytes;
        appendWord(bytes, end);
        send(bytes);
        return false;
    }
    std::vector<std::uint8_t> bytes = slotBytes(m_memory, version, index);
    if (const auto fault = takeFault(index)) spoil(bytes, *fault, slotRecordOffset(version), slotRecordSize(version));
    update([index](MeterLog& log) { log.sessions.back().indexes.push_back(index); });
    return send(bytes);
}

std::optional<RecordFault> MeterSimulator::takeFault(std::uint32_t index)
{
    const unsigned int sending = m_sendings[index]++;
    for (const auto& plan : m_behaviour.faults)
        if (plan.index == index && sending < plan.times) return plan.fault;
    return std::nullopt;
}

void MeterSimulator::serveRaw()
{
    const std::uint32_t count = m_behaviour.raw_count.value_or(static_cast<std::uint32_t>(m_memory.raw.size()));
    std::vector<std::uint8_t> word;
    appendWord(word, count);
    if (!send(word)) return;
    const std::size_t total = std::min({m_memory.raw.size(), std::size_t{count}, m_behaviour.raw_limit.value_or(SIZE_MAX)});
    for (std::size_t sent = 0; sent < total;) {
        const std::size_t chunk = std::min(s_raw_chunk, total - sent);
        if (m_terminal.write(m_memory.raw.data() + sent, chunk, m_stop) != Status::Ok) return;
        sent += chunk;
        update([sent](MeterLog& log) { log.sessions.back().raw_sent = sent; });
    }
    if (m_behaviour.raw_limit && m_behaviour.hang_up_after_raw_limit) hangUp();
}

} // namespace ertkit_sim
