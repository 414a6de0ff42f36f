#pragma once

#include <host/Result_Reader.h>

#include <array>
#include <cstdint>
#include <istream>
#include <string>
#include <utility>
#include <vector>

class BIN_File;

// One record of a legacy BIN result file: one measured quadrupole. It reads its 308 bytes
// from the file, takes the serial numbers (and, when close enough, the start time) of its
// two companion full-wave recordings from their names, and answers the host's result
// queries. Legacy records carry far less than BINX records, so most queries answer a fixed
// value.
//
// Final: the host base has no virtual destructor, so records are only ever deleted through
// this type (their file owns them).
class BIN_Data final : public Result_Reader {
public:
    static constexpr std::size_t s_size_in_bytes = 308;
    static constexpr std::size_t s_n_windows = 20;

    // Reads one record from the stream's current position. The file resolves the record's
    // name indexes into full paths; without a file no index resolves (std::out_of_range).
    BIN_Data(std::istream& stream, const BIN_File* file);
    BIN_Data(const BIN_Data&) = default;
    BIN_Data(BIN_Data&&) = default;
    BIN_Data& operator=(const BIN_Data&) = default;
    BIN_Data& operator=(BIN_Data&&) = default;
    ~BIN_Data() = default;

    // Stored values the result queries do not expose.
    std::int16_t getRecordVersion() const { return m_version; }
    std::int16_t getIIndex() const { return m_i_index; }
    std::int16_t getVIndex() const { return m_v_index; }
    // Number of leading positive window durations: the windows that count.
    std::uint32_t getNTM() const { return m_n_tm; }

    bool getIgnore() const override;
    bool getIgnoreM() const override;
    ElectrodeDisposition getElectrodeDisposition() const override;
    double waterDepth() const override;
    double waterResistivity() const override;
    unsigned char statRegC() const override;
    unsigned char statRegI() const override;
    unsigned char statRegP() const override;
    unsigned int tarvexNumber() const override;
    unsigned int trigSyncChannel() const override;
    unsigned short spacing10cm() const override;
    unsigned short offsetSounderCm() const override;
    unsigned short delayBeforeAcquisition() const override;
    unsigned char getGainIndex(bool side) const override;
    bool isABused(bool side) const override;
    bool isMNused(bool side) const override;
    double getGain(bool side) const override;
    double getOffset(bool side) const override;
    unsigned int getTrigSynchro() const override;
    unsigned int getTrigOffset() const override;
    double getVAB() const override;
    unsigned char getContinousSurveyMarker() const override;
    double getVABMaxTx() const override;
    unsigned int getStackMin() const override;
    unsigned int getStackMax() const override;
    double getCrenErrorRho() const override;
    double getCrenErrorM() const override;
    bool hasEmergency() const override;
    bool hasOverCurrent() const override;
    bool hasOpenLine() const override;
    bool hasOverHeat() const override;
    bool hasLowBat() const override;
    unsigned char getComputeFilter() const override;
    unsigned char getVMNRequest() const override;
    unsigned char getVABRequest() const override;
    unsigned char getTypeOfTxRegulation() const override;
    bool hasGainAuto() const override;
    unsigned char getTimeSet() const override;
    unsigned char getTimeMode() const override;
    unsigned char getTypeOfSwitch() const override;
    unsigned char getStartSynchro() const override;
    unsigned char getTypeOfSequence() const override;
    int getQuadripoleMeasured() const override;
    int getNQuadripole() const override;
    int getNRemoteQuadripole() const override;
    int getNGapFiller() const override;
    int getNInjectionMin() const override;
    int getNSkippedQuadripole() const override;
    int getNSkippedElectrode() const override;
    int getFirstQuadripoleId() const override;
    int getLastQuadripoleId() const override;
    int getNElectrode() const override;
    int getFirstElectrodeId() const override;
    int getLastElectrodeId() const override;
    int getNInjection() const override;
    double getSpacing() const override;
    bool hasAlarm() const override;
    unsigned char getTypeOfRemote() const override;
    bool isShutdownRs() const override;
    bool isCom0Enabled() const override;
    bool isCom1Enabled() const override;
    bool isRS485Enabled() const override;
    bool isWifiEnabled() const override;
    bool isGpsEnabled() const override;
    bool isLastDataStored() const override;
    unsigned char getScriptCmdIndex() const override;
    unsigned char getWaitRsCheck() const override;
    bool isRsCheckStored() const override;
    bool isRsCheckSaved() const override;
    bool isTxInAsked() const override;
    bool isMonitoring() const override;
    unsigned char getContinuousSurvey() const override;
    unsigned char getContinuousSurveyGps() const override;
    bool hasExternalBat() const override;
    bool hasSwitchError() const override;
    bool isSwitchTerraOn() const override;
    unsigned char getCopyOrMoveOnUsb() const override;
    bool hasExternalTxBat() const override;
    unsigned int getNumberOfTarvex() const override;
    unsigned char getTypeOfSyncMultiSeq() const override;
    int getSwitchFirstElectrodeId() const override;
    int getSwitchLastElectrodeId() const override;
    int getTxVersion() const override;
    int getRxVersion() const override;
    bool isGapFiller(bool side) const override;
    unsigned short getSerialNumber(bool side) const override;
    unsigned short getUserSerialNumber(bool side) const override;
    DeviceType_t getType(bool side) const override;
    HighPrecisionTime getStartTime(bool side) const override;
    HighPrecisionTime getSampleTime(bool side) const override;
    double getRsCheck() const override;
    double getTxCurrent(bool side) const override;
    int getGmtOffset(bool side) const override;
    double getRxBat(bool side) const override;
    double getRxTemp(bool side) const override;
    double getTxBat(bool side) const override;
    double getTxTemp(bool side) const override;
    int getMultiTxKey(bool side) const override;
    double getMaxRxV(bool side) const override;
    double getGpsX(bool side) const override;
    double getGpsY(bool side) const override;
    double getGpsZ(bool side) const override;
    GeoSpec getGpsSpec(bool side) const override;
    double getGridOrientation(bool side) const override;
    double getOffsetX(bool side) const override;
    double getOffsetY(bool side) const override;
    std::uint64_t getElectrodeNum(ElectrodeName e) const override;
    bool getElectrodeOfV(ElectrodeName e) const override;
    // Coordinates of A, B, M or N; any other electrode throws std::out_of_range.
    double getElectrodeX(ElectrodeName e) const override;
    double getElectrodeY(ElectrodeName e) const override;
    double getElectrodeZ(ElectrodeName e) const override;
    double getElectrodeDepth(ElectrodeName e) const override;
    GeoSpec getElectrodeSpec(ElectrodeName e) const override;
    bool hasSexagesimalGpsLatLong() const override;
    bool hasElecNum(bool side) const override;
    double getSpontaneousPotential() const override;
    double getSpontaneousPotentialError() const override;
    void fillStackSampleIndexes(bool side, std::vector<std::pair<std::uint64_t, StackPhase>>& out) const override;
    std::uint64_t getStart(bool side) const override;
    std::uint64_t getChan(bool side) const override;
    std::uint64_t getVDelay() const override;
    std::uint64_t getVEnd() const override;
    void fillTM(std::vector<std::uint64_t>& out) const override;
    void fillStackData(bool side, std::vector<double>& out) const override;
    void fillStackError(bool side, std::vector<double>& out) const override;
    std::uint64_t getNStack(bool side) const override;
    std::uint64_t getPeriod(bool side) const override;
    double getPolarizationVoltage(bool side) const override;
    double getInjectedCurrent(bool side) const override;
    double getPolarizationVoltageError(bool side) const override;
    double getInjectedCurrentError(bool side) const override;
    double getIp(bool first, bool second) const override;
    double getIpError(bool first, bool second) const override;
    double getColeColeM(bool first, bool second) const override;
    double getColeColeTau(bool first, bool second) const override;
    double getColeColeC(bool first, bool second) const override;
    double getColeColeMError(bool first, bool second) const override;
    double getColeColeTauError(bool first, bool second) const override;
    double getColeColeCError(bool first, bool second) const override;
    void fillCurve(bool first, bool second, std::vector<double>& out) const override;
    void fillCurveError(bool first, bool second, std::vector<double>& out) const override;
    void fillMIp(bool first, bool second, std::vector<double>& out) const override;
    void fillMIpError(bool first, bool second, std::vector<double>& out) const override;
    bool getLostPPS() const override;
    int getPPSOffset() const override;
    bool isNoisy() const override;
    InjectionType getInjectionType() const override;
    bool isRXOnly() const override;
    std::string getFrontDetectorName() const override;
    std::vector<std::pair<std::string, std::uint64_t>> getDataFilters() const override;
    std::string getPSExtractor() const override;
    std::vector<std::pair<std::string, std::uint64_t>> getPostProcessingFilters() const override;
    std::string getOrigFile() const override;
    std::string getSeqFile() const override;
    std::uint64_t getOverloadedSamples(bool side) const override;
    StatisticFunctionType getStatFunction() const override;
    PolarizationComputeType getPolarizationComputeType() const override;
    MErrorUnit getMErrorUnit() const override;
    ResultComputationType getComputationType() const override;

private:
    class Fields;
    void read(Fields& fields);
    void resolveCompanions(const BIN_File* file);
    double coordinate(const std::array<float, 4>& values, ElectrodeName e) const;

    // Stored fields, in file order.
    std::int16_t m_disposition_code = 0;
    std::int16_t m_version = 0;
    float m_pulse_duration_ms = 0.0f;
    float m_delay_ms = 0.0f;
    std::int16_t m_unused_12 = 0;
    std::int16_t m_ignore = 0;
    std::array<float, 4> m_x{};
    std::array<float, 4> m_y{};
    std::array<float, 4> m_z{};
    float m_spontaneous_potential = 0.0f;
    float m_polarization_voltage = 0.0f;
    float m_injected_current = 0.0f;
    float m_unused_76 = 0.0f;
    float m_m = 0.0f;
    float m_unused_84 = 0.0f;
    std::array<float, s_n_windows> m_tm{};
    std::array<float, s_n_windows> m_window_m{};
    std::uint8_t m_channel = 0;
    std::uint8_t m_channel_high = 0;
    bool m_overload = false;
    bool m_flag_bit1 = false;
    bool m_not_noisy = false;
    bool m_gap_filler = false;
    std::int16_t m_unused_250 = 0;
    std::array<char, 12> m_orig_file{};
    float m_gps_x = 0.0f;
    float m_gps_y = 0.0f;
    float m_n_stack = 0.0f; // as kept: the stored value + 2
    float m_rs_check = 0.0f;
    float m_vab = 0.0f;
    float m_tx_bat = 0.0f;
    float m_rx_bat = 0.0f;
    float m_temperature = 0.0f;
    double m_start_time = 0.0;
    std::int16_t m_i_index = 0;
    std::int16_t m_v_index = 0;

    // Set while reading.
    unsigned short m_serial_i = 0;
    unsigned short m_user_serial_i = 0;
    unsigned short m_serial_v = 0;
    unsigned short m_user_serial_v = 0;
    std::uint32_t m_n_tm = 0;
};
