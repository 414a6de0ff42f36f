#pragma once

#include <fullwave/IAB_VMN_FilePage.h>
#include <host/IV_File_Reader.h>
#include <host/ProgressCallback.h>
#include <host/ReaderAdapters.h>

#include <cstdint>
#include <istream>
#include <memory>
#include <span>
#include <string>
#include <vector>

// The time-series reader of one full-wave recording of a current (IAB) or voltage (VMN)
// receiver. The constructor reads the whole file and groups its pages into starts: a
// configuration page and the data pages that follow it while their sample numbers run on
// without a gap. Queries are answered from memory.
//
// The samples are kept compactly (see IAB_VMN_SampleStore), not as page objects: the data
// page objects that getData hands out are made from that storage the first time each is
// asked for, and kept for the reader's lifetime. The storage is the reader's own business
// (IAB_VMN_FileStorage.h): this header shows none of it.
class IAB_VMN_File : public IV_File_ReaderImpl<IAB_VMN_File> {
public:
    static const std::string s_type_name;
    static const std::vector<std::string> s_extensions_list;
    static const std::uint64_t s_registration_id;

    // Samples::Skipped reads a recording as a header-only open: the walk, its checks, log lines
    // and progress are those of a full reading, and every query but those of sample values
    // (starts, headers, counts, times, PPS) answers the same, but the values are not stored.
    // A query of values (getData, fillData, fillOverload, fillStart, getDataContainer) then
    // throws std::logic_error. It keeps a few per cent of the file in memory, not most of it.
    enum class Samples { Kept, Skipped };

    explicit IAB_VMN_File(const std::string& path);
    IAB_VMN_File(const std::string& path, ProgressCallback& progress);
    IAB_VMN_File(const std::string& path, ProgressCallback& progress, Samples samples);
    // A recording read from a stream; its made-up path is "<serial>-<user serial>.vmn|iab".
    IAB_VMN_File(std::istream& stream, unsigned short serial, unsigned short user_serial, bool is_vmn);
    IAB_VMN_File(std::istream& stream, unsigned short serial, unsigned short user_serial, bool is_vmn, ProgressCallback& progress);
    IAB_VMN_File(std::istream& stream, unsigned short serial, unsigned short user_serial, bool is_vmn, ProgressCallback& progress,
                 Samples samples);
    IAB_VMN_File(IAB_VMN_File&& other) noexcept;
    IAB_VMN_File& operator=(IAB_VMN_File&& other) noexcept;
    IAB_VMN_File(const IAB_VMN_File&) = delete;
    IAB_VMN_File& operator=(const IAB_VMN_File&) = delete;
    ~IAB_VMN_File() override;

    // Kind, serial numbers and start date from a recording's file name. Outputs the name
    // does not give keep the caller's values; is_vmn is always set.
    static void GetSerials(const std::string& path, unsigned short& serial, unsigned short& user_serial, bool& is_vmn,
                           HighPrecisionTime& time);
    static void GetSerials(const std::string& path, unsigned short& serial, unsigned short& user_serial, bool& is_vmn);

    // Accessors of the assembled starts. An index past the end throws std::out_of_range
    // rather than reading beyond the starts, so every query is safe on a bad start.
    const IAB_VMN_FileHeader& getHeader(std::uint64_t start) const;
    const IAB_VMN_FileData& getData(std::uint64_t start, std::uint64_t i) const;
    std::uint64_t getNHeader() const;
    std::uint64_t getNData(std::uint64_t start) const;
    bool get_is_vmn() const { return is_vmn; }

    // Every channel of one start in one pass, row-major: sample k of channel c goes to
    // values[k * channels + c] and overloads[k * channels + c], its PPS flag to pps[k], with
    // the values, flags and PPS that fillData, fillOverload and fillPPS give. An empty span
    // skips that output; a non-empty one must hold at least getNsample(start) *
    // getNChannels(start) entries (pps: getNsample(start)), else std::invalid_argument.
    // A start past the end throws std::out_of_range.
    void fillStart(Start start, std::span<double> values, std::span<bool> overloads, std::span<bool> pps) const;
    // The same for `count` samples from sample `first` of the start (rows 0 .. count - 1 of the
    // outputs), so that a long start can be walked in pieces; a range past the start's
    // samples throws std::out_of_range.
    void fillStart(Start start, std::uint64_t first, std::uint64_t count, std::span<double> values, std::span<bool> overloads,
                   std::span<bool> pps) const;

    std::uint64_t getNStarts() const override { return getNHeader(); }
    std::uint64_t getNChannels(Start start) const override;
    DeviceType_t getType() const override;
    std::vector<std::uint64_t> getNStart() const override;
    unsigned short getSerialNumber() const override;
    unsigned short getUserSerialNumber() const override;
    std::vector<std::uint64_t> getNChannel(Start start) const override;
    std::uint64_t getNsample(Start start) const override;
    HighPrecisionTime getStartTime(Start start) const override;
    HighPrecisionTime getSampleTime(Start start) const override;
    TimesSeriesContainer getDataContainer(Start start) const override;
    void fillData(Start start, Channel channel, std::vector<double>& out) const override;
    void fillOverload(Start start, Channel channel, std::vector<bool>& out) const override;
    void fillPPS(Start start, std::vector<bool>& out) const override;
    double getRsCheck(Start start, Channel channel) const override;
    double getTxCurrent(Start start) const override;
    double getMaxRxV(Start start, Channel channel) const override;
    bool isMNused(Start start, Channel channel) const override;
    bool isGpsEnabled(Start start) const override;
    int getGmtOffset(Start start) const override;
    double getRxBat(Start start) const override;
    double getRxTemp(Start start) const override;
    double getTxTemp(Start start) const override;
    int getMultiTxKey(Start start) const override;
    double getGpsX(Start start) const override;
    double getGpsY(Start start) const override;
    double getGpsZ(Start start) const override;
    GeoSpec getGpsSpec(Start start) const override;
    double getOffsetX(Start start) const override;
    double getOffsetY(Start start) const override;
    double getElectrodeX(Start start, Channel channel, ElectrodeName e) const override;
    double getElectrodeY(Start start, Channel channel, ElectrodeName e) const override;
    double getElectrodeZ(Start start, Channel channel, ElectrodeName e) const override;
    double getElectrodeDepth(Start start, Channel channel, ElectrodeName e) const override;
    GeoSpec getElectrodeSpec(Start start, Channel channel, ElectrodeName e) const override;
    bool hasSexagesimalGpsLatLong() const override;
    bool isV(Start start, Channel channel) const override;
    bool isTxUsed(Start start) const override;

    // Queries an IAB/VMN recording has no counterpart for.
    bool isABused(Start /*start*/, Channel /*channel*/) const override { return {}; }
    bool isGapFiller(Start /*start*/, Channel /*channel*/) const override { return {}; }
    double getGain(Start /*start*/, Channel /*channel*/) const override { return {}; }
    double getOffset(Start /*start*/, Channel /*channel*/) const override { return {}; }
    int getFirstElectrodeId(Start /*start*/) const override { return {}; }
    int getFirstQuadripoleId(Start /*start*/) const override { return {}; }
    double getCrenErrorM(Start /*start*/) const override { return {}; }
    bool hasAlarm(Start /*start*/) const override { return {}; }
    double getCrenErrorRho(Start /*start*/) const override { return {}; }
    int getLastElectrodeId(Start /*start*/) const override { return {}; }
    int getLastQuadripoleId(Start /*start*/) const override { return {}; }
    double getGridOrientation(Start /*start*/) const override { return {}; }
    double getSpacing(Start /*start*/) const override { return {}; }
    bool hasElecNum(Start /*start*/) const override { return {}; }
    bool hasEmergency(Start /*start*/) const override { return {}; }
    bool hasExternalBat(Start /*start*/) const override { return {}; }
    bool hasExternalTxBat(Start /*start*/) const override { return {}; }
    bool hasGainAuto(Start /*start*/) const override { return {}; }
    bool hasLowBat(Start /*start*/) const override { return {}; }
    bool hasOpenLine(Start /*start*/) const override { return {}; }
    bool hasOverCurrent(Start /*start*/) const override { return {}; }
    bool hasOverHeat(Start /*start*/) const override { return {}; }
    bool hasSwitchError(Start /*start*/) const override { return {}; }
    bool isCom0Enabled(Start /*start*/) const override { return {}; }
    bool isCom1Enabled(Start /*start*/) const override { return {}; }
    bool isLastDataStored(Start /*start*/) const override { return {}; }
    bool isMonitoring(Start /*start*/) const override { return {}; }
    bool isRS485Enabled(Start /*start*/) const override { return {}; }
    int getNElectrode(Start /*start*/) const override { return {}; }
    int getNGapFiller(Start /*start*/) const override { return {}; }
    int getNInjection(Start /*start*/) const override { return {}; }
    int getNInjectionMin(Start /*start*/) const override { return {}; }
    int getNQuadripole(Start /*start*/) const override { return {}; }
    int getNRemoteQuadripole(Start /*start*/) const override { return {}; }
    int getNSkippedElectrode(Start /*start*/) const override { return {}; }
    int getNSkippedQuadripole(Start /*start*/) const override { return {}; }
    int getQuadripoleMeasured(Start /*start*/) const override { return {}; }
    int getRxVersion(Start /*start*/) const override { return {}; }
    int getSwitchFirstElectrodeId(Start /*start*/) const override { return {}; }
    int getSwitchLastElectrodeId(Start /*start*/) const override { return {}; }
    int getTxVersion(Start /*start*/) const override { return {}; }
    double getTxBat(Start /*start*/) const override { return {}; }
    bool isRsCheckSaved(Start /*start*/) const override { return {}; }
    bool isRsCheckStored(Start /*start*/) const override { return {}; }
    bool isShutdownRs(Start /*start*/) const override { return {}; }
    bool isSwitchTerraOn(Start /*start*/) const override { return {}; }
    bool isTxInAsked(Start /*start*/) const override { return {}; }
    bool isWifiEnabled(Start /*start*/) const override { return {}; }
    unsigned char getComputeFilter(Start /*start*/) const override { return {}; }
    unsigned char getContinousSurveyMarker(Start /*start*/) const override { return {}; }
    unsigned char getContinuousSurvey(Start /*start*/) const override { return {}; }
    unsigned char getContinuousSurveyGps(Start /*start*/) const override { return {}; }
    unsigned char getCopyOrMoveOnUsb(Start /*start*/) const override { return {}; }
    unsigned char getScriptCmdIndex(Start /*start*/) const override { return {}; }
    unsigned char getStartSynchro(Start /*start*/) const override { return {}; }
    unsigned char getTimeMode(Start /*start*/) const override { return {}; }
    unsigned char getTimeSet(Start /*start*/) const override { return {}; }
    unsigned char getTypeOfRemote(Start /*start*/) const override { return {}; }
    unsigned char getTypeOfSequence(Start /*start*/) const override { return {}; }
    unsigned char getTypeOfSwitch(Start /*start*/) const override { return {}; }
    unsigned char getTypeOfSyncMultiSeq(Start /*start*/) const override { return {}; }
    unsigned char getTypeOfTxRegulation(Start /*start*/) const override { return {}; }
    unsigned char getVABRequest(Start /*start*/) const override { return {}; }
    unsigned int getNumberOfTarvex(Start /*start*/) const override { return {}; }
    unsigned char getVMNRequest(Start /*start*/) const override { return {}; }
    unsigned int getStackMax(Start /*start*/) const override { return {}; }
    unsigned int getStackMin(Start /*start*/) const override { return {}; }
    unsigned int getTrigOffset(Start /*start*/) const override { return {}; }
    unsigned int getTrigSynchro(Start /*start*/) const override { return {}; }
    unsigned char getWaitRsCheck(Start /*start*/) const override { return {}; }
    unsigned char statRegC(Start /*start*/) const override { return {}; }
    unsigned char statRegI(Start /*start*/) const override { return {}; }
    unsigned char getGainIndex(Start /*start*/, Channel /*channel*/) const override { return {}; }
    double getVAB(Start /*start*/) const override { return {}; }
    double getVABMaxTx(Start /*start*/) const override { return {}; }
    unsigned char statRegP(Start /*start*/) const override { return {}; }
    ElectrodeDisposition getElectrodeDisposition(Start /*start*/) const override { return {}; }

protected:
    void Init(std::istream& stream, ProgressCallback& progress);

private:
    // A configuration page with the data pages that follow it, and the storage of all of them
    // (IAB_VMN_FileStorage.h).
    struct Start_;
    struct Storage;

    void appendDataPage(const IAB_VMN_RawPage& raw, const std::string& expected_name);
    std::int32_t dataPageDate(const IAB_VMN_RawPage& raw) const;
    const Start_& checkedStart(Start start) const;
    std::unique_ptr<IAB_VMN_FileData> makeDataPage(const Start_& s, std::uint64_t i) const;
    // The storage; a reader moved from has none and answers as one without starts.
    const Storage& storage() const;

    bool is_vmn = false;
    unsigned short m_serial = 0;
    unsigned short m_user_serial = 0;
    std::unique_ptr<Storage> m_storage;
};
