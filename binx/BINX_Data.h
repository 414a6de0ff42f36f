#pragma once

#include <binx/BINX_Geo.h>
#include <binx/BINX_TxStatus.h>
#include <download/TarvexKesta_File.h>

#include <host/HostDefaults.h>
#include <host/Result_Reader.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <map>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace binx_detail {
class RecordSlabs;
}

// One measured quadrupole of a BINX result file, in memory and on disk.
//
// The record's values are public data members: the file reader, the writer, the
// conversion of downloaded measures and the host's editing code all fill them directly.
// Eight of them share their name with a query of the host interface and carry an `m_`
// prefix (m_waterDepth, m_waterResistivity, m_spacing10cm, m_offsetSounderCm,
// m_delayBeforeAcquisition, m_trigSyncChannel, m_tarvexNumber, m_isGlobalGrid).
//
// The class is final: its owners delete it through BINX_Data*, and the host interface has
// no virtual destructor.
class BINX_Data final : public Result_Reader {
public:
    // The record version the writer stamps on every record.
    static constexpr int VERSION = 16;
    static constexpr std::uint32_t NO_PATH = 0xFFFFFFFFu;
    static constexpr std::uint64_t NO_RESULT_ID = 0xFFFFFFFFFFFFFFFFull;
    static constexpr std::size_t N_WINDOWS = 20;
    static constexpr std::size_t N_STACK_SAMPLES = 800;

    // Sample-period codes, from 10 s down to 1 ms.
    enum SamplingRate : std::uint32_t {
        SR_10S = 1, SR_5S, SR_2S, SR_1S, SR_500MS, SR_200MS, SR_100MS,
        SR_50MS, SR_20MS, SR_10MS, SR_5MS, SR_2MS, SR_1MS
    };

    // A dipole's curve: one value per window, then one extra value.
    struct Curve {
        std::array<double, N_WINDOWS> values{};
        double extra = 0.0;
        friend bool operator==(const Curve&, const Curve&) = default;
    };
    using Dipole = std::pair<ElectrodeName, ElectrodeName>;

    BINX_Data() = default;
    // Reads one record from the stream's position; `names` are the file's full-wave
    // recording names, which the path indexes refer to.
    BINX_Data(std::ifstream& in, const std::vector<std::string>& names);
    // A record from a measure downloaded from the meter: record version 1, or versions 2
    // and 3 (and raw imports) with the measure's start time.
    explicit BINX_Data(const TarvexKesta_File::TMeasure& measure);
    BINX_Data(const TarvexKesta_File::TZMeasure& measure, HighPrecisionTime start);
    BINX_Data(const BINX_Data&) = default;
    BINX_Data(BINX_Data&&) = default;
    BINX_Data& operator=(const BINX_Data&) = default;
    BINX_Data& operator=(BINX_Data&&) = default;
    ~BINX_Data() = default;

    // A file reads its records into a few large blocks rather than one heap block each, so
    // the class allocates its objects itself: `delete` takes back a record from either kind
    // of memory, whoever made it and whenever its file went. The nothrow and placement forms
    // work as they do for any class.
    static void* operator new(std::size_t size);
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
    static void* operator new(std::size_t size, binx_detail::RecordSlabs& slabs);
    static void* operator new(std::size_t, void* where) noexcept { return where; }
    static void operator delete(void* p) noexcept;
    static void operator delete(void* p, const std::nothrow_t&) noexcept;
    static void operator delete(void* p, binx_detail::RecordSlabs& slabs) noexcept;
    static void operator delete(void*, void*) noexcept {}

    // Writes the record in the current (version 16) layout; failures show in the stream's state.
    void writeToFile(std::ostream& out) const;

    void setMppx(unsigned int index, double value);
    void setMppx(std::vector<double> values);
    void setElectrodeDisposition(ElectrodeDisposition disposition);

    void setStatRegC(unsigned char value) { txStatus.setStatRegC(value); }
    void setStatRegI(unsigned char value) { txStatus.setStatRegI(value); }
    void setStatRegP(unsigned char value) { txStatus.setStatRegP(value); }
    void setEmergency(bool value) { txStatus.setEmergency(value); }
    void setOverCurrent(bool value) { txStatus.setOverCurrent(value); }
    void setOpenLine(bool value) { txStatus.setOpenLine(value); }
    void setOverHeat(bool value) { txStatus.setOverHeat(value); }
    void setLowBattery(bool value) { txStatus.setLowBattery(value); }
    unsigned char getStatRegC() const { return txStatus.getStatRegC(); }
    unsigned char getStatRegI() const { return txStatus.getStatRegI(); }
    unsigned char getStatRegP() const { return txStatus.getStatRegP(); }
    bool isEmergency() const { return txStatus.isEmergency(); }
    bool isOverCurrent() const { return txStatus.isOverCurrent(); }
    bool isOpenLine() const { return txStatus.isOpenLine(); }
    bool isOverHeat() const { return txStatus.isOverHeat(); }
    bool isLowBattery() const { return txStatus.isLowBattery(); }

    std::uint64_t getResultId() const { return resultId; }
    std::set<std::uint64_t> getAssociatedResultId() const { return associatedResultIds; }
    bool isGlobalGrid() const { return m_isGlobalGrid != 0; }
    GeographicPoint getGridGeo() const;

    // The sample-period code of a period; throws MessageException "invalid sampling rate"
    // for a period outside the table.
    static SamplingRate getSamplingRate(const HighPrecisionTime& period);

    // ---- Result_Reader ----
    bool getIgnore() const override { return ignore != 0; }
    bool getIgnoreM() const override { return ip == 9999.0; }
    ElectrodeDisposition getElectrodeDisposition() const override;
    double waterDepth() const override { return m_waterDepth; }
    double waterResistivity() const override { return m_waterResistivity; }
    unsigned char statRegC() const override { return txStatus.getStatRegC(); }
    unsigned char statRegI() const override { return txStatus.getStatRegI(); }
    unsigned char statRegP() const override { return txStatus.getStatRegP(); }
    unsigned int tarvexNumber() const override { return m_tarvexNumber; }
    unsigned int trigSyncChannel() const override { return m_trigSyncChannel; }
    unsigned short spacing10cm() const override { return m_spacing10cm; }
    unsigned short offsetSounderCm() const override { return m_offsetSounderCm; }
    unsigned short delayBeforeAcquisition() const override { return m_delayBeforeAcquisition; }
    unsigned char getGainIndex(bool) const override { return gainIndex; }
    bool isABused(bool) const override { return abUsed != 0; }
    bool isMNused(bool) const override { return mnUsed != 0; }
    double getGain(bool) const override { return gain; }
    double getOffset(bool) const override { return offset; }
    unsigned int getTrigSynchro() const override { return trigSynchro; }
    unsigned int getTrigOffset() const override { return trigOffset; }
    double getVAB() const override { return vab; }
    unsigned char getContinousSurveyMarker() const override { return continousSurveyMarker; }
    double getVABMaxTx() const override { return vabMaxTx; }
    unsigned int getStackMin() const override { return stackMin; }
    unsigned int getStackMax() const override { return stackMax; }
    double getCrenErrorRho() const override { return crenErrorRho; }
    double getCrenErrorM() const override { return crenErrorM; }
    bool hasEmergency() const override { return txStatus.isEmergency(); }
    bool hasOverCurrent() const override { return txStatus.isOverCurrent(); }
    bool hasOpenLine() const override { return txStatus.isOpenLine(); }
    bool hasOverHeat() const override { return txStatus.isOverHeat(); }
    bool hasLowBat() const override { return txStatus.isLowBattery(); }
    unsigned char getComputeFilter() const override { return computeFilter; }
    unsigned char getVMNRequest() const override { return vmnRequest; }
    unsigned char getVABRequest() const override { return vabRequest; }
    unsigned char getTypeOfTxRegulation() const override { return typeOfTxRegulation; }
    bool hasGainAuto() const override { return gainAuto != 0; }
    unsigned char getTimeSet() const override { return timeSet; }
    unsigned char getTimeMode() const override { return timeMode; }
    unsigned char getTypeOfSwitch() const override { return typeOfSwitch; }
    unsigned char getStartSynchro() const override { return startSynchro; }
    unsigned char getTypeOfSequence() const override { return static_cast<unsigned char>(typeOfSequence); }
    int getQuadripoleMeasured() const override { return quadripoleMeasured; }
    int getNQuadripole() const override { return nQuadripole; }
    int getNRemoteQuadripole() const override { return nRemoteQuadripole; }
    int getNGapFiller() const override { return nGapFiller; }
    int getNInjectionMin() const override { return nInjectionMin; }
    int getNSkippedQuadripole() const override { return nSkippedQuadripole; }
    int getNSkippedElectrode() const override { return nSkippedElectrode; }
    int getFirstQuadripoleId() const override { return firstQuadripoleId; }
    int getLastQuadripoleId() const override { return lastQuadripoleId; }
    int getNElectrode() const override { return nElectrode; }
    int getFirstElectrodeId() const override { return firstElectrodeId; }
    int getLastElectrodeId() const override { return lastElectrodeId; }
    int getNInjection() const override { return nInjection; }
    double getSpacing() const override { return spacing; }
    bool hasAlarm() const override { return alarm != 0; }
    unsigned char getTypeOfRemote() const override { return typeOfRemote; }
    bool isShutdownRs() const override { return shutdownRs != 0; }
    bool isCom0Enabled() const override { return com0Enabled != 0; }
    bool isCom1Enabled() const override { return com1Enabled != 0; }
    bool isRS485Enabled() const override { return rs485Enabled != 0; }
    bool isWifiEnabled() const override { return wifiEnabled != 0; }
    bool isGpsEnabled() const override { return gpsEnabled != 0; }
    bool isLastDataStored() const override { return lastDataStored != 0; }
    unsigned char getScriptCmdIndex() const override { return static_cast<unsigned char>(scriptCmdIndex); }
    unsigned char getWaitRsCheck() const override { return waitRsCheck; }
    bool isRsCheckStored() const override { return rsCheckStored != 0; }
    bool isRsCheckSaved() const override { return rsCheckSaved != 0; }
    bool isTxInAsked() const override { return txInAsked != 0; }
    bool isMonitoring() const override { return monitoring != 0; }
    unsigned char getContinuousSurvey() const override { return static_cast<unsigned char>(continuousSurvey); }
    unsigned char getContinuousSurveyGps() const override { return static_cast<unsigned char>(continuousSurveyGps); }
    bool hasExternalBat() const override { return externalBat != 0; }
    bool hasSwitchError() const override { return switchError != 0; }
    bool isSwitchTerraOn() const override { return switchTerraOn != 0; }
    unsigned char getCopyOrMoveOnUsb() const override { return static_cast<unsigned char>(copyOrMoveOnUsb); }
    bool hasExternalTxBat() const override { return externalTxBat != 0; }
    unsigned int getNumberOfTarvex() const override { return numberOfTarvex; }
    unsigned char getTypeOfSyncMultiSeq() const override { return typeOfSyncMultiSeq; }
    int getSwitchFirstElectrodeId() const override { return switchFirstElectrodeId; }
    int getSwitchLastElectrodeId() const override { return switchLastElectrodeId; }
    int getTxVersion() const override { return txVersion; }
    int getRxVersion() const override { return 0; }
    bool isGapFiller(bool) const override { return gapFiller != 0; }
    unsigned short getSerialNumber(bool side) const override;
    unsigned short getUserSerialNumber(bool side) const override { return side ? userSerialNumberV : userSerialNumberI; }
    DeviceType_t getType(bool side) const override;
    HighPrecisionTime getStartTime(bool side) const override;
    HighPrecisionTime getSampleTime(bool side) const override;
    double getRsCheck() const override { return rsCheck; }
    double getTxCurrent(bool) const override { return txCurrent; }
    int getGmtOffset(bool) const override { return gmtOffset; }
    double getRxBat(bool) const override { return rxBat; }
    double getRxTemp(bool) const override { return rxTemp; }
    double getTxBat(bool) const override { return txBat; }
    double getTxTemp(bool) const override { return txTemp; }
    int getMultiTxKey(bool) const override { return multiTxKey; }
    double getMaxRxV(bool) const override { return rxRangeLow != 0 ? 6000.0 : 15000.0; }
    double getGpsX(bool side) const override { return side ? gpsXV : gpsXI; }
    double getGpsY(bool side) const override { return side ? gpsYV : gpsYI; }
    double getGpsZ(bool) const override { return 0.0; }
    GeoSpec getGpsSpec(bool) const override { return GeoSpec(false, 0, GeoSpec::GPS, false, 0); }
    double getGridOrientation(bool) const override { return grid.getOrientation() - 90.0; }
    double getOffsetX(bool) const override { return grid.getLocalX(); }
    double getOffsetY(bool) const override { return grid.getLocalY(); }
    std::uint64_t getElectrodeNum(ElectrodeName e) const override;
    bool getElectrodeOfV(ElectrodeName e) const override;
    double getElectrodeX(ElectrodeName e) const override { return quadrupole.getX(e); }
    double getElectrodeY(ElectrodeName e) const override { return quadrupole.getY(e); }
    double getElectrodeZ(ElectrodeName e) const override { return quadrupole.getZ(e); }
    double getElectrodeDepth(ElectrodeName e) const override { return quadrupole.getDepth(e); }
    GeoSpec getElectrodeSpec(ElectrodeName e) const override;
    bool hasSexagesimalGpsLatLong() const override { return false; }
    bool hasElecNum(bool) const override { return true; }
    double getSpontaneousPotential() const override { return spontaneousPotential; }
    double getSpontaneousPotentialError() const override { return 0.0; }
    void fillStackSampleIndexes(bool wanted, std::vector<std::pair<std::uint64_t, StackPhase>>& out) const override;
    std::uint64_t getStart(bool) const override { return 0; }
    std::uint64_t getChan(bool side) const override;
    std::uint64_t getVDelay() const override;
    std::uint64_t getVEnd() const override;
    void fillTM(std::vector<std::uint64_t>& out) const override;
    void fillStackData(bool wanted, std::vector<double>& out) const override;
    void fillStackError(bool wanted, std::vector<double>& out) const override;
    std::uint64_t getNStack(bool side) const override;
    std::uint64_t getPeriod(bool side) const override { return getStackSize(side); }
    double getPolarizationVoltage(bool side) const override { return side ? polarizationVoltage : -polarizationVoltage; }
    double getInjectedCurrent(bool side) const override { return side ? injectedCurrent : -injectedCurrent; }
    double getPolarizationVoltageError(bool) const override;
    double getInjectedCurrentError(bool) const override { return 0.0; }
    double getIp(bool first, bool second) const override;
    double getIpError(bool first, bool second) const override;
    double getColeColeM(bool, bool) const override { return coleColeM; }
    double getColeColeTau(bool, bool) const override { return coleColeTau; }
    double getColeColeC(bool, bool) const override { return coleColeC; }
    double getColeColeMError(bool, bool) const override { return 0.0; }
    double getColeColeTauError(bool, bool) const override { return 0.0; }
    double getColeColeCError(bool, bool) const override { return 0.0; }
    void fillCurve(bool, bool, std::vector<double>& out) const override { out.clear(); }
    void fillCurveError(bool, bool, std::vector<double>& out) const override { out.clear(); }
    void fillMIp(bool first, bool second, std::vector<double>& out) const override;
    void fillMIpError(bool, bool, std::vector<double>& out) const override { out.assign(nTM, 0.0); }
    bool getLostPPS() const override { return ppsFlag2 == 0 || ppsFlag1 == 0; }
    int getPPSOffset() const override { return 0; }
    bool isNoisy() const override { return m_trigSyncChannel == 0; }
    InjectionType getInjectionType() const override;
    bool isRXOnly() const override { return injectionCode != 0 && injectionCode != 1; }
    std::string getFrontDetectorName() const override { return BTFrontDetector::s_type_name; }
    std::vector<std::pair<std::string, std::uint64_t>> getDataFilters() const override { return {}; }
    std::string getPSExtractor() const override { return AlternatingFilter::s_type_name; }
    std::vector<std::pair<std::string, std::uint64_t>> getPostProcessingFilters() const override { return {}; }
    std::string getOrigFile() const override { return origFile; }
    std::string getSeqFile() const override { return seqFile; }
    std::uint64_t getOverloadedSamples(bool side) const override { return side && overload != 0 ? 1 : 0; }
    StatisticFunctionType getStatFunction() const override { return static_cast<StatisticFunctionType>(0); }
    PolarizationComputeType getPolarizationComputeType() const override
    {
        return static_cast<PolarizationComputeType>(polarizationComputeType);
    }
    MErrorUnit getMErrorUnit() const override { return static_cast<MErrorUnit>(mErrorUnitCode == 1 ? 1 : 0); }
    ResultComputationType getComputationType() const override { return static_cast<ResultComputationType>(computationType); }

    // ---- Identity and times ----
    std::uint64_t resultId = NO_RESULT_ID;
    double startTimeV = 0.0; // voltage receiver side
    double startTimeI = 0.0; // current transmitter side
    std::string origFile;
    std::string seqFile;
    std::string keyText1;
    std::string keyText2;
    std::set<std::uint64_t> associatedResultIds;

    // ---- Links to full-wave recordings and the project (NO_PATH = none) ----
    std::uint32_t iabPathIndex = NO_PATH;
    std::uint32_t vmnPathIndex = NO_PATH;
    std::uint32_t projectPathIndex = NO_PATH;

    // ---- Primary results ----
    double spontaneousPotential = 0.0;
    double polarizationVoltage = 0.0;
    double injectedCurrent = 0.0;
    double ip = 0.0; // 9999 marks a chargeability to be ignored
    std::array<double, N_WINDOWS> mppx{};
    double polarizationVoltageDeviation = 0.0;
    double ipDeviation = 0.0;
    double rsCheck = 0.0;
    double crenErrorRho = 0.0;
    double crenErrorM = 0.0;
    double coleColeTau = 0.0;
    double coleColeM = 0.0;
    double coleColeC = 0.0;
    double auxReal1 = 0.0;
    double auxReal2 = 0.0;

    // ---- Stacked signal ----
    std::uint32_t nStack = 0;
    std::array<float, N_STACK_SAMPLES> stackData{};
    std::uint32_t stackMin = 0;
    std::uint32_t stackMax = 0;

    // ---- Timing (vDelay, tmDelay and tm in tenths of the queried unit) ----
    std::int32_t pulseDurationMs = 0;
    std::int32_t vDelay = 0;
    std::int32_t tmDelay = 0;
    std::array<std::int32_t, N_WINDOWS> tm{};
    std::uint32_t samplingRateCode = 0;
    std::uint32_t trigSynchro = 0;
    std::uint32_t trigOffset = 0;
    std::uint32_t m_trigSyncChannel = 0;
    std::uint16_t m_delayBeforeAcquisition = 0;

    // ---- Receiver and transmitter state ----
    std::uint32_t overload = 0;
    std::uint8_t rxRangeLow = 0;
    std::uint8_t gainIndex = 0;
    double gain = 0.0;
    double offset = 0.0;
    std::int32_t chanV = 0;
    std::int32_t chanI = 0;
    std::uint8_t gapFiller = 0;
    float vab = 0.0f;
    double vabMaxTx = 0.0;
    float txCurrent = 0.0f;
    float txBat = 0.0f;
    float txTemp = 0.0f;
    float rxBat = 0.0f;
    float rxTemp = 0.0f;
    std::uint8_t abUsed = 0;
    std::uint8_t mnUsed = 0;
    BINX_TxStatus txStatus;
    std::int32_t txVersion = 0;
    std::uint32_t serialNumberV = 0;
    std::uint32_t serialNumberI = 0;
    std::uint16_t userSerialNumberV = 0;
    std::uint16_t userSerialNumberI = 0;
    std::int16_t deviceCode = 0;
    std::uint32_t numberOfTarvex = 0;
    std::uint32_t m_tarvexNumber = 0;
    std::int32_t multiTxKey = 0;

    // ---- Sequence and configuration ----
    std::uint8_t computeFilter = 0;
    std::uint8_t vmnRequest = 0;
    std::uint8_t vabRequest = 0;
    std::uint8_t typeOfTxRegulation = 0;
    std::uint8_t injectionCode = 0;
    std::uint8_t gainAuto = 0;
    std::uint8_t timeSet = 0;
    std::uint8_t timeMode = 0;
    std::uint8_t typeOfSwitch = 0;
    std::uint8_t startSynchro = 0;
    std::int32_t gmtOffset = 0;
    std::uint8_t mErrorUnitCode = 0;
    std::uint32_t typeOfSequence = 0;
    std::int32_t quadripoleMeasured = 0;
    std::int32_t nQuadripole = 0;
    std::int32_t nRemoteQuadripole = 0;
    std::int32_t nGapFiller = 0;
    std::int32_t nInjectionMin = 0;
    std::int32_t nSkippedQuadripole = 0;
    std::int32_t nSkippedElectrode = 0;
    std::int32_t nInjection = 0;
    std::int32_t firstQuadripoleId = 0;
    std::int32_t lastQuadripoleId = 0;
    std::int32_t nElectrode = 0;
    std::int32_t firstElectrodeId = 0;
    std::int32_t lastElectrodeId = 0;
    double spacing = 0.0;
    std::uint16_t electrodeDispositionCode = 10;
    std::uint8_t alarm = 0;
    std::uint8_t typeOfRemote = 0;
    std::uint8_t shutdownRs = 0;
    std::uint8_t com0Enabled = 0;
    std::uint8_t com1Enabled = 0;
    std::uint8_t rs485Enabled = 0;
    std::uint8_t wifiEnabled = 0;
    std::uint8_t gpsEnabled = 0;
    std::uint8_t lastDataStored = 0;
    std::uint32_t scriptCmdIndex = 0;
    std::uint8_t waitRsCheck = 0;
    std::uint32_t rsCheckStored = 0;
    std::uint32_t rsCheckSaved = 0;
    std::uint32_t txInAsked = 0;
    std::uint32_t monitoring = 0;
    std::uint32_t switchError = 0;
    std::uint8_t externalBat = 0;
    std::uint8_t externalTxBat = 0;
    std::uint8_t switchTerraOn = 0;
    std::uint32_t copyOrMoveOnUsb = 0;
    std::uint8_t typeOfSyncMultiSeq = 0;
    std::int16_t switchFirstElectrodeId = 0;
    std::int16_t switchLastElectrodeId = 0;
    std::uint32_t continuousSurvey = 0;    // one byte on disk
    std::uint32_t continuousSurveyGps = 0; // one byte on disk
    std::uint8_t continousSurveyMarker = 0;
    std::uint8_t ppsFlag1 = 0; // 0 = PPS lost
    std::uint8_t ppsFlag2 = 0; // 0 = PPS lost
    std::uint8_t ignore = 0;
    float m_waterDepth = 0.0f;
    float m_waterResistivity = 0.0f;
    std::uint16_t m_spacing10cm = 0;
    std::uint16_t m_offsetSounderCm = 0;
    // Stored values that no query returns.
    std::uint32_t auxWord1 = 0;
    std::uint32_t auxWord2 = 0;
    std::uint32_t auxWord3 = 0;
    std::uint32_t auxWord4 = 0;
    std::array<std::uint32_t, 4> auxWords{};
    std::uint8_t auxByte1 = 0;
    std::uint8_t auxByte2 = 0;
    std::uint8_t auxByte3 = 0;
    std::uint8_t auxByte4 = 0;
    std::uint8_t auxByte5 = 0;
    std::uint8_t auxByte6 = 0;
    std::uint8_t auxByte7 = 0;
    std::uint8_t auxByte8 = 0;
    std::uint8_t auxByte9 = 0;
    std::uint8_t auxByte10 = 0;
    std::uint8_t auxByte11 = 0;

    // ---- Position ----
    BINX_Quadrupole quadrupole;
    BINX_GridGeo grid; // the global point carries the grid orientation in its depth slot
    double gpsXV = 0.0;
    double gpsYV = 0.0;
    double gpsXI = 0.0;
    double gpsYI = 0.0;
    std::uint8_t m_isGlobalGrid = 0;
    std::uint8_t computationType = 0;
    std::uint8_t polarizationComputeType = 1;

    // ---- Per-dipole curves: (A, B) and (M, N) as the reader makes them ----
    std::map<Dipole, Curve> curves;

    // ---- In memory only ----
    std::int32_t recordVersion = VERSION; // the version the record was read with
    std::uint32_t nTM = 0;                // leading valid windows, at most 20 when read

protected:
    // Samples in one full injection cycle at the record's sample period.
    std::uint32_t getStackSize(bool side) const;

private:
    void fillSerialNumbers(const std::vector<std::string>& names);
    void takeMeasureHead(const TarvexKesta_File::TMeasureHead& head);
    template <typename Measure>
    void takeMeasureResults(const Measure& measure);
};
