#pragma once

#include <host/GeoSpec.h>
#include <host/HighPrecisionTime.h>
#include <host/HostEnums.h>
#include <host/ProgressCallback.h>
#include <host/TimesSeriesContainer.h>

#include <cstdint>
#include <string>
#include <vector>

// Abstract base of every time-series file reader of the host. The virtual table has 124
// slots: the destructor, 120 queries by start (and channel), then the type identity. The
// slot of each operation is noted beside it; the order is what binary hosts rely on.
class IV_File_Reader {
public:
    using Start = std::uint64_t;
    using Channel = std::uint64_t;
    using Factory = IV_File_Reader* (*)(const std::string& path, ProgressCallback& progress);

    explicit IV_File_Reader(const std::string& path) : m_path(path) {}
    IV_File_Reader(const IV_File_Reader&) = default;
    IV_File_Reader& operator=(const IV_File_Reader&) = default;

    virtual ~IV_File_Reader();                                                                              // 0
    virtual DeviceType_t getType() const = 0;                                                              // 1
    virtual std::vector<std::uint64_t> getNStart() const = 0;                                              // 2
    virtual std::uint64_t getNStarts() const;                                                              // 3
    virtual unsigned short getSerialNumber() const = 0;                                                    // 4
    virtual unsigned short getUserSerialNumber() const = 0;                                                // 5
    virtual std::vector<std::uint64_t> getNChannel(Start start) const = 0;                                 // 6
    virtual std::uint64_t getNChannels(Start start) const;                                                 // 7
    virtual std::uint64_t getNsample(Start start) const = 0;                                               // 8
    virtual HighPrecisionTime getStartTime(Start start) const = 0;                                         // 9
    virtual HighPrecisionTime getSampleTime(Start start) const = 0;                                        // 10
    virtual TimesSeriesContainer getDataContainer(Start start) const = 0;                                  // 11
    virtual void fillData(Start start, Channel channel, std::vector<double>& out) const = 0;               // 12
    virtual void fillOverload(Start start, Channel channel, std::vector<bool>& out) const = 0;             // 13
    virtual void fillPPS(Start start, std::vector<bool>& out) const = 0;                                   // 14
    virtual double getRsCheck(Start start, Channel channel) const = 0;                                     // 15
    virtual double getTxCurrent(Start start) const = 0;                                                    // 16
    virtual double getMaxRxV(Start start, Channel channel) const = 0;                                      // 17
    virtual bool isABused(Start start, Channel channel) const = 0;                                         // 18
    virtual bool isGapFiller(Start start, Channel channel) const = 0;                                      // 19
    virtual bool isMNused(Start start, Channel channel) const = 0;                                         // 20
    virtual double getGain(Start start, Channel channel) const = 0;                                        // 21
    virtual double getOffset(Start start, Channel channel) const = 0;                                      // 22
    virtual int getFirstElectrodeId(Start start) const = 0;                                                // 23
    virtual int getFirstQuadripoleId(Start start) const = 0;                                               // 24
    virtual double getCrenErrorM(Start start) const = 0;                                                   // 25
    virtual bool hasAlarm(Start start) const = 0;                                                          // 26
    virtual double getCrenErrorRho(Start start) const = 0;                                                 // 27
    virtual int getLastElectrodeId(Start start) const = 0;                                                 // 28
    virtual int getLastQuadripoleId(Start start) const = 0;                                                // 29
    virtual double getGridOrientation(Start start) const = 0;                                              // 30
    virtual double getSpacing(Start start) const = 0;                                                      // 31
    virtual bool hasElecNum(Start start) const = 0;                                                        // 32
    virtual bool hasEmergency(Start start) const = 0;                                                      // 33
    virtual bool hasExternalBat(Start start) const = 0;                                                    // 34
    virtual bool hasExternalTxBat(Start start) const = 0;                                                  // 35
    virtual bool hasGainAuto(Start start) const = 0;                                                       // 36
    virtual bool hasLowBat(Start start) const = 0;                                                         // 37
    virtual bool hasOpenLine(Start start) const = 0;                                                       // 38
    virtual bool hasOverCurrent(Start start) const = 0;                                                    // 39
    virtual bool hasOverHeat(Start start) const = 0;                                                       // 40
    virtual bool hasSwitchError(Start start) const = 0;                                                    // 41
    virtual bool isCom0Enabled(Start start) const = 0;                                                     // 42
    virtual bool isCom1Enabled(Start start) const = 0;                                                     // 43
    virtual bool isLastDataStored(Start start) const = 0;                                                  // 44
    virtual bool isMonitoring(Start start) const = 0;                                                      // 45
    virtual bool isRS485Enabled(Start start) const = 0;                                                    // 46
    virtual int getNElectrode(Start start) const = 0;                                                      // 47
    virtual int getNGapFiller(Start start) const = 0;                                                      // 48
    virtual int getNInjection(Start start) const = 0;                                                      // 49
    virtual int getNInjectionMin(Start start) const = 0;                                                   // 50
    virtual int getNQuadripole(Start start) const = 0;                                                     // 51
    virtual int getNRemoteQuadripole(Start start) const = 0;                                               // 52
    virtual int getNSkippedElectrode(Start start) const = 0;                                               // 53
    virtual int getNSkippedQuadripole(Start start) const = 0;                                              // 54
    virtual int getQuadripoleMeasured(Start start) const = 0;                                              // 55
    virtual int getRxVersion(Start start) const = 0;                                                       // 56
    virtual int getSwitchFirstElectrodeId(Start start) const = 0;                                          // 57
    virtual int getSwitchLastElectrodeId(Start start) const = 0;                                           // 58
    virtual int getTxVersion(Start start) const = 0;                                                       // 59
    virtual double getTxBat(Start start) const = 0;                                                        // 60
    virtual bool isRsCheckSaved(Start start) const = 0;                                                    // 61
    virtual bool isRsCheckStored(Start start) const = 0;                                                   // 62
    virtual bool isShutdownRs(Start start) const = 0;                                                      // 63
    virtual bool isSwitchTerraOn(Start start) const = 0;                                                   // 64
    virtual bool isTxInAsked(Start start) const = 0;                                                       // 65
    virtual bool isWifiEnabled(Start start) const = 0;                                                     // 66
    virtual unsigned char getComputeFilter(Start start) const = 0;                                         // 67
    virtual bool isGpsEnabled(Start start) const = 0;                                                      // 68
    virtual unsigned char getContinousSurveyMarker(Start start) const = 0;                                 // 69
    virtual unsigned char getContinuousSurvey(Start start) const = 0;                                      // 70
    virtual unsigned char getContinuousSurveyGps(Start start) const = 0;                                   // 71
    virtual unsigned char getCopyOrMoveOnUsb(Start start) const = 0;                                       // 72
    virtual unsigned char getScriptCmdIndex(Start start) const = 0;                                        // 73
    virtual unsigned char getStartSynchro(Start start) const = 0;                                          // 74
    virtual unsigned char getTimeMode(Start start) const = 0;                                              // 75
    virtual unsigned char getTimeSet(Start start) const = 0;                                               // 76
    virtual unsigned char getTypeOfRemote(Start start) const = 0;                                          // 77
    virtual unsigned char getTypeOfSequence(Start start) const = 0;                                        // 78
    virtual unsigned char getTypeOfSwitch(Start start) const = 0;                                          // 79
    virtual unsigned char getTypeOfSyncMultiSeq(Start start) const = 0;                                    // 80
    virtual unsigned char getTypeOfTxRegulation(Start start) const = 0;                                    // 81
    virtual unsigned char getVABRequest(Start start) const = 0;                                            // 82
    virtual unsigned int getNumberOfTarvex(Start start) const = 0;                                         // 83
    virtual unsigned char getVMNRequest(Start start) const = 0;                                            // 84
    virtual unsigned int getStackMax(Start start) const = 0;                                               // 85
    virtual unsigned int getStackMin(Start start) const = 0;                                               // 86
    virtual unsigned int getTrigOffset(Start start) const = 0;                                             // 87
    virtual unsigned int getTrigSynchro(Start start) const = 0;                                            // 88
    virtual unsigned char getWaitRsCheck(Start start) const = 0;                                           // 89
    virtual unsigned char statRegC(Start start) const = 0;                                                 // 90
    virtual unsigned char statRegI(Start start) const = 0;                                                 // 91
    virtual unsigned char getGainIndex(Start start, Channel channel) const = 0;                            // 92
    virtual int getGmtOffset(Start start) const = 0;                                                       // 93
    virtual double getRxBat(Start start) const = 0;                                                        // 94
    virtual double getRxTemp(Start start) const = 0;                                                       // 95
    virtual double getVAB(Start start) const = 0;                                                          // 96
    virtual double getTxTemp(Start start) const = 0;                                                       // 97
    virtual int getMultiTxKey(Start start) const = 0;                                                      // 98
    virtual double getGpsX(Start start) const = 0;                                                         // 99
    virtual double getGpsY(Start start) const = 0;                                                         // 100
    virtual double getGpsZ(Start start) const = 0;                                                        // 101
    virtual GeoSpec getGpsSpec(Start start) const = 0;                                                     // 102
    virtual double getVABMaxTx(Start start) const = 0;                                                     // 103
    virtual double getGridOrientationRaw(Start start) const;                                              // 104
    virtual double getOffsetX(Start start) const = 0;                                                      // 105
    virtual double getOffsetY(Start start) const = 0;                                                      // 106
    virtual double getElectrodeX(Start start, Channel channel, ElectrodeName e) const = 0;                 // 107
    virtual double getElectrodeY(Start start, Channel channel, ElectrodeName e) const = 0;                 // 108
    virtual double getElectrodeZ(Start start, Channel channel, ElectrodeName e) const = 0;                 // 109
    virtual double getElectrodeDepth(Start start, Channel channel, ElectrodeName e) const = 0;             // 110
    virtual GeoSpec getElectrodeSpec(Start start, Channel channel, ElectrodeName e) const = 0;             // 111
    virtual bool hasSexagesimalGpsLatLong() const = 0;                                                     // 112
    virtual bool isV(Start start, Channel channel) const = 0;                                              // 113
    virtual unsigned char statRegP(Start start) const = 0;                                                 // 114
    virtual double getElectrodeRawX(Start start, Channel channel, ElectrodeName e) const;                  // 115
    virtual double getElectrodeRawY(Start start, Channel channel, ElectrodeName e) const;                  // 116
    virtual double getElectrodeRawZ(Start start, Channel channel, ElectrodeName e) const;                  // 117
    virtual double getElectrodeRawDepth(Start start, Channel channel, ElectrodeName e) const;              // 118
    virtual ElectrodeDisposition getElectrodeDisposition(Start start) const = 0;                           // 119
    virtual bool isTxUsed(Start start) const = 0;                                                          // 120
    virtual std::uint64_t getTypeId() const = 0;                                                           // 121
    virtual std::string getTypeName() const = 0;                                                           // 122
    virtual std::vector<std::string> getExtensionsList() const = 0;                                        // 123

    const std::string& getPath() const { return m_path; }

    // Host registry: announces a reader for a type name and its extensions (lower case, with
    // the leading dot) and returns the identifier of the registration.
    static std::uint64_t registerFileReader(std::string type_name, std::vector<std::string> extensions, Factory factory);

    static const std::uint64_t s_reading_file_page_text_id;

private:
    std::string m_path;
};
