#include <binx/BINX_Data.h>

#include <binx/BinaryInput.h>
#include <binx/BinaryOutput.h>
#include <binx/RecordSlabs.h>

#include <host/VELTLogger.h>

#include <algorithm>

namespace {

constexpr BINX_Data::Dipole s_dipole_ab{ElectrodeName::A, ElectrodeName::B};
constexpr BINX_Data::Dipole s_dipole_mn{ElectrodeName::M, ElectrodeName::N};

// Reads the fields of one record of a given version. Each field is checked before it is
// read; a failure throws "error reading file".
class RecordReader {
public:
    static constexpr bool reading = true;

    RecordReader(std::ifstream& in, int version) : m_in(in), m_io(in, binx_io::s_record_read_error), m_version(version) {}

    int version() const { return m_version; }

    template <typename... T>
    void operator()(T&... fields)
    {
        (read(fields), ...);
    }
    void text(std::string& value) { m_io.readText(value); }
    void byte(std::uint32_t& value) { value = m_io.get<std::uint8_t>(); }

    // Version 1 kept its key texts in fixed blocks of 28 bytes.
    void fixedText(std::string& value) { m_io.readTextBytes(value, 28); }
    // Records before version 9 carry three blocks of 16 bytes that nothing uses.
    void discardedBlocks()
    {
        for (int block = 0; block < 3; ++block) m_io.skipBytes(16);
    }
    // Versions before 3 store the maximal transmitter voltage as a 32-bit integer.
    void legacyVabMaxTx(double& value) { value = m_io.get<std::int32_t>(); }

    // Each window is judged as it arrives: only the leading positive ones count.
    void windows(std::array<std::int32_t, BINX_Data::N_WINDOWS>& tm, std::uint32_t& n_tm)
    {
        n_tm = 0;
        bool ended = false;
        for (unsigned int i = 0; i < tm.size(); ++i) {
            m_io.read(tm[i]);
            if (tm[i] < 0) {
                VELTLogger::warning() << "negative TM" << i << " found, skipping next" << std::endl;
                ended = true;
            } else if (tm[i] == 0) {
                ended = true;
            } else if (!ended) {
                ++n_tm;
            } else {
                VELTLogger::warning() << "non zero TM" << i << " found after zero one, ignoring" << std::endl;
            }
        }
    }

    void ids(std::set<std::uint64_t>& ids)
    {
        const auto count = m_io.get<std::uint32_t>();
        for (std::uint32_t i = 0; i < count; ++i) ids.insert(m_io.get<std::uint64_t>());
    }

    void curves(BINX_Data& r)
    {
        if (m_version < 11) {
            r.curves[s_dipole_ab] = BINX_Data::Curve{r.mppx, r.polarizationVoltage};
            return;
        }
        if (m_version <= 14) {
            auto& ab = r.curves[s_dipole_ab];
            read(ab.values);
            ab.extra = r.polarizationVoltage;
            auto& mn = r.curves[s_dipole_mn];
            read(mn.values);
            mn.extra = r.polarizationVoltage;
            if (m_version >= 12) read(ab.extra, mn.extra);
            return;
        }
        const auto count = m_io.get<std::uint32_t>();
        for (std::uint32_t i = 0; i < count; ++i) {
            const auto first = m_io.get<std::uint8_t>();
            const auto second = m_io.get<std::uint8_t>();
            auto& curve = r.curves[{static_cast<ElectrodeName>(first), static_cast<ElectrodeName>(second)}];
            curve = BINX_Data::Curve{};
            read(curve.values);
            read(curve.extra);
        }
    }

private:
    template <typename T>
    void read(T& value)
    {
        m_io.read(value);
    }
    template <typename T, std::size_t N>
    void read(std::array<T, N>& values)
    {
        m_io.readArray(values.data(), N);
    }
    template <typename... T>
    void read(T&... values) requires(sizeof...(T) > 1)
    {
        (read(values), ...);
    }
    void read(BINX_Quadrupole& value) { value = BINX_Quadrupole(m_in, m_version); }
    void read(BINX_GridGeo& value) { value = BINX_GridGeo(m_in, m_version); }
    void read(BINX_TxStatus& value) { value = BINX_TxStatus(m_in, static_cast<unsigned int>(m_version)); }

    std::ifstream& m_in;
    binx_io::BinaryInput m_io;
    int m_version;
};

// Writes the fields of one record in the current layout.
class RecordWriter {
public:
    static constexpr bool reading = false;

    explicit RecordWriter(std::ostream& out) : m_out(out), m_io(out) {}

    int version() const { return BINX_Data::VERSION; }

    template <typename... T>
    void operator()(const T&... fields)
    {
        (write(fields), ...);
    }
    void text(const std::string& value) { m_io.writeText(value); }
    void byte(const std::uint32_t& value) { m_io.write(static_cast<std::uint8_t>(value)); }
    void windows(const std::array<std::int32_t, BINX_Data::N_WINDOWS>& tm, const std::uint32_t&) { write(tm); }

    void ids(const std::set<std::uint64_t>& ids)
    {
        m_io.write(static_cast<std::uint32_t>(ids.size()));
        for (const auto id : ids) m_io.write(id);
    }

    void curves(const BINX_Data& r)
    {
        m_io.write(static_cast<std::uint32_t>(r.curves.size()));
        for (const auto& [dipole, curve] : r.curves) {
            m_io.write(static_cast<std::uint8_t>(dipole.first));
            m_io.write(static_cast<std::uint8_t>(dipole.second));
            write(curve.values);
            m_io.write(curve.extra);
        }
    }

private:
    template <typename T>
    void write(const T& value)
    {
        m_io.write(value);
    }
    template <typename T, std::size_t N>
    void write(const std::array<T, N>& values)
    {
        m_io.writeArray(values.data(), N);
    }
    void write(const BINX_Quadrupole& value) { value.writeToFile(m_out); }
    void write(const BINX_GridGeo& value) { value.writeToFile(m_out); }
    void write(const BINX_TxStatus& value) { value.writeToFile(m_out); }

    std::ostream& m_out;
    binx_io::BinaryOutput m_io;
};

// True when the grid's global point is located: UTM, or GPS with a coordinate set.
bool locatedGrid(const BINX_GridGeo& grid)
{
    const auto type = grid.getGeoSpec().get_geo_type();
    return type == GeoSpec::UTM || (type == GeoSpec::GPS && (grid.getX() != 0.0 || grid.getY() != 0.0));
}

// The record's fields after its version word, in file order, for reading (Record is
// BINX_Data) and writing (const BINX_Data, always the current version).
template <typename Record, typename Archive>
void transferFields(Record& r, Archive& ar)
{
    const int v = ar.version();
    ar(r.startTimeV, r.startTimeI, r.overload, r.nStack, r.spontaneousPotential, r.polarizationVoltage,
       r.injectedCurrent, r.ip, r.mppx, r.auxReal1, r.auxReal2, r.polarizationVoltageDeviation, r.ipDeviation,
       r.rsCheck, r.vab, r.txBat, r.txTemp, r.rxBat, r.rxTemp, r.stackData);
    ar.text(r.origFile);
    ar(r.txCurrent);
    if constexpr (Archive::reading) {
        if (v < 3) ar.legacyVabMaxTx(r.vabMaxTx);
        else ar(r.vabMaxTx);
    } else {
        ar(r.vabMaxTx);
    }
    ar(r.electrodeDispositionCode, r.stackMin, r.stackMax, r.crenErrorRho, r.crenErrorM, r.pulseDurationMs, r.vDelay,
       r.tmDelay);
    ar.windows(r.tm, r.nTM);
    ar(r.computeFilter, r.trigSynchro, r.samplingRateCode, r.vmnRequest, r.vabRequest, r.typeOfTxRegulation,
       r.injectionCode, r.gainAuto, r.timeSet, r.timeMode, r.typeOfSwitch, r.startSynchro, r.gmtOffset,
       r.mErrorUnitCode);
    ar.text(r.seqFile);
    ar(r.typeOfSequence, r.auxWord1, r.m_trigSyncChannel, r.auxWord2, r.quadripoleMeasured, r.firstQuadripoleId,
       r.lastQuadripoleId, r.nElectrode, r.firstElectrodeId, r.lastElectrodeId, r.spacing, r.chanV, r.chanI,
       r.gapFiller, r.rxRangeLow, r.gainIndex, r.gain, r.offset, r.quadrupole, r.grid, r.alarm, r.typeOfRemote,
       r.shutdownRs, r.com0Enabled, r.com1Enabled, r.rs485Enabled, r.wifiEnabled, r.gpsEnabled, r.lastDataStored,
       r.auxByte1, r.ignore, r.gpsXV, r.gpsYV, r.deviceCode, r.iabPathIndex, r.vmnPathIndex, r.projectPathIndex);
    if (v >= 2) {
        ar.text(r.keyText1);
        ar.text(r.keyText2);
    } else if constexpr (Archive::reading) {
        if (v == 1) {
            ar.fixedText(r.keyText1);
            ar.fixedText(r.keyText2);
        }
    }
    ar(r.coleColeTau, r.coleColeM, r.coleColeC, r.ppsFlag1);
    if constexpr (Archive::reading) {
        if (v < 9) ar.discardedBlocks();
    }
    ar(r.nQuadripole, r.nRemoteQuadripole, r.nGapFiller, r.nInjectionMin, r.nSkippedQuadripole, r.nSkippedElectrode);
    if (v >= 3) ar(r.nInjection);
    ar(r.waitRsCheck, r.rsCheckStored, r.rsCheckSaved, r.externalBat, r.auxByte2, r.auxByte3, r.txInAsked,
       r.monitoring, r.switchError, r.scriptCmdIndex, r.auxWord3, r.trigOffset, r.userSerialNumberV, r.auxWords);
    if (v >= 3) {
        ar(r.abUsed, r.mnUsed, r.auxByte4, r.auxByte5, r.switchTerraOn, r.copyOrMoveOnUsb, r.auxByte6, r.auxByte7,
           r.auxByte8, r.ppsFlag2, r.numberOfTarvex, r.m_tarvexNumber, r.multiTxKey, r.typeOfSyncMultiSeq,
           r.switchFirstElectrodeId, r.switchLastElectrodeId);
        if (v < 6) ar(r.txStatus); // the packed word
    }
    if (v >= 4) {
        ar(r.m_waterDepth, r.m_spacing10cm, r.m_offsetSounderCm, r.m_delayBeforeAcquisition, r.m_waterResistivity);
        ar.byte(r.continuousSurvey);
        ar.byte(r.continuousSurveyGps);
        ar(r.auxByte9, r.continousSurveyMarker, r.auxByte10, r.externalTxBat);
    }
    if (v >= 6) ar(r.txStatus);
    if (v >= 7) ar(r.auxWord4);
    if (v >= 8) ar(r.serialNumberV, r.serialNumberI, r.userSerialNumberI);
    if (v >= 10) ar(r.gpsXI, r.gpsYI, r.txVersion, r.resultId);
    if (v >= 11) ar(r.computationType);
    if (v >= 14) ar(r.polarizationComputeType);
    if (v >= 11) ar.ids(r.associatedResultIds);
    ar.curves(r);
    if (v >= 16) ar(r.auxByte11);
    if (v == 13 || v >= 15) {
        ar(r.m_isGlobalGrid);
    } else if constexpr (Archive::reading) {
        r.m_isGlobalGrid = locatedGrid(r.grid) ? 1 : 0;
    }
}

} // namespace

BINX_Data::BINX_Data(std::ifstream& in, const std::vector<std::string>& names)
{
    binx_io::BinaryInput io(in, binx_io::s_record_read_error);
    recordVersion = static_cast<std::int32_t>(io.get<std::uint32_t>());
    RecordReader reader(in, recordVersion);
    transferFields(*this, reader);
    fillSerialNumbers(names);
}

void* BINX_Data::operator new(std::size_t size)
{
    return binx_detail::heapRecordMemory(size);
}

void* BINX_Data::operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return binx_detail::heapRecordMemory(size);
    } catch (...) {
        return nullptr;
    }
}

void* BINX_Data::operator new(std::size_t size, binx_detail::RecordSlabs& slabs)
{
    if (void* const room = slabs.place(size)) return room;
    return binx_detail::heapRecordMemory(size);
}

void BINX_Data::operator delete(void* p) noexcept
{
    binx_detail::releaseRecordMemory(p);
}

// The two below are called only when a constructor throws.
void BINX_Data::operator delete(void* p, const std::nothrow_t&) noexcept
{
    binx_detail::releaseRecordMemory(p);
}

void BINX_Data::operator delete(void* p, binx_detail::RecordSlabs&) noexcept
{
    binx_detail::releaseRecordMemory(p);
}

void BINX_Data::writeToFile(std::ostream& out) const
{
    binx_io::BinaryOutput io(out);
    io.write(static_cast<std::uint32_t>(VERSION));
    RecordWriter writer(out);
    transferFields(*this, writer);
}

void BINX_Data::setMppx(unsigned int index, double value)
{
    if (index < mppx.size()) mppx[index] = value;
}

void BINX_Data::setMppx(std::vector<double> values)
{
    std::copy_n(values.begin(), std::min(values.size(), mppx.size()), mppx.begin());
}
