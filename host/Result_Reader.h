#pragma once

#include <host/GeoSpec.h>
#include <host/HighPrecisionTime.h>
#include <host/HostEnums.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Abstract base of one result (one measured quadrupole) of the host's result files. Its
// 164 virtual slots come in the order noted beside them; there is no destructor slot, so
// results are never deleted through this base (the destructor is protected): their file
// owns them and deletes them through their own type.
//
// A bool argument that chooses a side means the voltage (receiver) side when true and the
// current (transmitter) side when false.
class Result_Reader {
public:
    virtual bool getIgnore() const = 0;                                                                               // 0
    virtual bool getIgnoreM() const = 0;                                                                              // 1
    virtual ElectrodeDisposition getElectrodeDisposition() const = 0;                                                 // 2
    virtual double waterDepth() const = 0;                                                                            // 3
    virtual double waterResistivity() const = 0;                                                                      // 4
    virtual unsigned char statRegC() const = 0;                                                                       // 5
    virtual unsigned char statRegI() const = 0;                                                                       // 6
    virtual unsigned char statRegP() const = 0;                                                                       // 7
    virtual unsigned int tarvexNumber() const = 0;                                                                    // 8
    virtual unsigned int trigSyncChannel() const = 0;                                                                 // 9
    virtual unsigned short spacing10cm() const = 0;                                                                   // 10
    virtual unsigned short offsetSounderCm() const = 0;                                                               // 11
    virtual unsigned short delayBeforeAcquisition() const = 0;                                                        // 12
    virtual unsigned char getGainIndex(bool side) const = 0;                                                          // 13
    virtual bool isABused(bool side) const = 0;                                                                       // 14
    virtual bool isMNused(bool side) const = 0;                                                                       // 15
    virtual double getGain(bool side) const = 0;                                                                      // 16
    virtual double getOffset(bool side) const = 0;                                                                    // 17
    virtual unsigned int getTrigSynchro() const = 0;                                                                  // 18
    virtual unsigned int getTrigOffset() const = 0;                                                                   // 19
    virtual double getVAB() const = 0;                                                                                // 20
    virtual unsigned char getContinousSurveyMarker() const = 0;                                                       // 21
    virtual double getVABMaxTx() const = 0;                                                                           // 22
    virtual unsigned int getStackMin() const = 0;                                                                     // 23
    virtual unsigned int getStackMax() const = 0;                                                                     // 24
    virtual double getCrenErrorRho() const = 0;                                                                       // 25
    virtual double getCrenErrorM() const = 0;                                                                         // 26
    virtual bool hasEmergency() const = 0;                                                                            // 27
    virtual bool hasOverCurrent() const = 0;                                                                          // 28
    virtual bool hasOpenLine() const = 0;                                                                             // 29
    virtual bool hasOverHeat() const = 0;                                                                             // 30
    virtual bool hasLowBat() const = 0;                                                                               // 31
    virtual unsigned char getComputeFilter() const = 0;                                                               // 32
    virtual unsigned char getVMNRequest() const = 0;                                                                  // 33
    virtual unsigned char getVABRequest() const = 0;                                                                  // 34
    virtual unsigned char getTypeOfTxRegulation() const = 0;                                                          // 35
    virtual bool hasGainAuto() const = 0;                                                                             // 36
    virtual unsigned char getTimeSet() const = 0;                                                                     // 37
    virtual unsigned char getTimeMode() const = 0;                                                                    // 38
    virtual unsigned char getTypeOfSwitch() const = 0;                                                                // 39
    virtual unsigned char getStartSynchro() const = 0;                                                                // 40
    virtual unsigned char getTypeOfSequence() const = 0;                                                              // 41
    virtual int getQuadripoleMeasured() const = 0;                                                                    // 42
    virtual int getNQuadripole() const = 0;                                                                           // 43
    virtual int getNRemoteQuadripole() const = 0;                                                                     // 44
    virtual int getNGapFiller() const = 0;                                                                            // 45
    virtual int getNInjectionMin() const = 0;                                                                         // 46
    virtual int getNSkippedQuadripole() const = 0;                                                                    // 47
    virtual int getNSkippedElectrode() const = 0;                                                                     // 48
    virtual int getFirstQuadripoleId() const = 0;                                                                     // 49
    virtual int getLastQuadripoleId() const = 0;                                                                      // 50
    virtual int getNElectrode() const = 0;                                                                            // 51
    virtual int getFirstElectrodeId() const = 0;                                                                      // 52
    virtual int getLastElectrodeId() const = 0;                                                                       // 53
    virtual int getNInjection() const = 0;                                                                            // 54
    virtual double getSpacing() const = 0;                                                                            // 55
    virtual bool hasAlarm() const = 0;                                                                                // 56
    virtual unsigned char getTypeOfRemote() const = 0;                                                                // 57
    virtual bool isShutdownRs() const = 0;                                                                            // 58
    virtual bool isCom0Enabled() const = 0;                                                                           // 59
    virtual bool isCom1Enabled() const = 0;                                                                           // 60
    virtual bool isRS485Enabled() const = 0;                                                                          // 61
    virtual bool isWifiEnabled() const = 0;                                                                           // 62
    virtual bool isGpsEnabled() const = 0;                                                                            // 63
    virtual bool isLastDataStored() const = 0;                                                                        // 64
    virtual unsigned char getScriptCmdIndex() const = 0;                                                              // 65
    virtual unsigned char getWaitRsCheck() const = 0;                                                                 // 66
    virtual bool isRsCheckStored() const = 0;                                                                         // 67
    virtual bool isRsCheckSaved() const = 0;                                                                          // 68
    virtual bool isTxInAsked() const = 0;                                                                             // 69
    virtual bool isMonitoring() const = 0;                                                                            // 70
    virtual unsigned char getContinuousSurvey() const = 0;                                                            // 71
    virtual unsigned char getContinuousSurveyGps() const = 0;                                                         // 72
    virtual bool hasExternalBat() const = 0;                                                                          // 73
    virtual bool hasSwitchError() const = 0;                                                                          // 74
    virtual bool isSwitchTerraOn() const = 0;                                                                         // 75
    virtual unsigned char getCopyOrMoveOnUsb() const = 0;                                                             // 76
    virtual bool hasExternalTxBat() const = 0;                                                                        // 77
    virtual unsigned int getNumberOfTarvex() const = 0;                                                               // 78
    virtual unsigned char getTypeOfSyncMultiSeq() const = 0;                                                          // 79
    virtual int getSwitchFirstElectrodeId() const = 0;                                                                // 80
    virtual int getSwitchLastElectrodeId() const = 0;                                                                 // 81
    virtual int getTxVersion() const = 0;                                                                             // 82
    virtual int getRxVersion() const = 0;                                                                             // 83
    virtual bool isGapFiller(bool side) const = 0;                                                                    // 84
    virtual unsigned short getSerialNumber(bool side) const = 0;                                                      // 85
    virtual unsigned short getUserSerialNumber(bool side) const = 0;                                                  // 86
    virtual DeviceType_t getType(bool side) const = 0;                                                                // 87
    virtual HighPrecisionTime getStartTime(bool side) const = 0;                                                      // 88
    virtual HighPrecisionTime getSampleTime(bool side) const = 0;                                                     // 89
    virtual double getRsCheck() const = 0;                                                                            // 90
    virtual double getTxCurrent(bool side) const = 0;                                                                 // 91
    virtual int getGmtOffset(bool side) const = 0;                                                                    // 92
    virtual double getRxBat(bool side) const = 0;                                                                     // 93
    virtual double getRxTemp(bool side) const = 0;                                                                    // 94
    virtual double getTxBat(bool side) const = 0;                                                                     // 95
    virtual double getTxTemp(bool side) const = 0;                                                                    // 96
    virtual int getMultiTxKey(bool side) const = 0;                                                                   // 97
    virtual double getMaxRxV(bool side) const = 0;                                                                    // 98
    virtual double getGpsX(bool side) const = 0;                                                                      // 99
    virtual double getGpsY(bool side) const = 0;                                                                      // 100
    virtual double getGpsZ(bool side) const = 0;                                                                      // 101
    virtual GeoSpec getGpsSpec(bool side) const = 0;                                                                  // 102
    virtual double getGridOrientation(bool side) const = 0;                                                           // 103
    virtual double getGridOrientationRaw(bool side) const;                                                            // 104
    virtual double getOffsetX(bool side) const = 0;                                                                   // 105
    virtual double getOffsetY(bool side) const = 0;                                                                   // 106
    virtual std::uint64_t getElectrodeNum(ElectrodeName e) const = 0;                                                 // 107
    virtual bool getElectrodeOfV(ElectrodeName e) const = 0;                                                          // 108
    virtual double getElectrodeX(ElectrodeName e) const = 0;                                                          // 109
    virtual double getElectrodeY(ElectrodeName e) const = 0;                                                          // 110
    virtual double getElectrodeZ(ElectrodeName e) const = 0;                                                          // 111
    virtual double getElectrodeDepth(ElectrodeName e) const = 0;                                                      // 112
    virtual GeoSpec getElectrodeSpec(ElectrodeName e) const = 0;                                                      // 113
    virtual double getElectrodeRawX(ElectrodeName e) const;                                                           // 114
    virtual double getElectrodeRawY(ElectrodeName e) const;                                                           // 115
    virtual double getElectrodeRawZ(ElectrodeName e) const;                                                           // 116
    virtual double getElectrodeRawDepth(ElectrodeName e) const;                                                       // 117
    virtual bool hasSexagesimalGpsLatLong() const = 0;                                                                // 118
    virtual bool hasElecNum(bool side) const = 0;                                                                     // 119
    virtual double getSpontaneousPotential() const = 0;                                                               // 120
    virtual double getSpontaneousPotentialError() const = 0;                                                          // 121
    virtual void fillStackSampleIndexes(bool side, std::vector<std::pair<std::uint64_t, StackPhase>>& out) const = 0; // 122
    virtual std::uint64_t getStart(bool side) const = 0;                                                              // 123
    virtual std::uint64_t getChan(bool side) const = 0;                                                               // 124
    virtual std::uint64_t getVDelay() const = 0;                                                                      // 125
    virtual std::uint64_t getVEnd() const = 0;                                                                        // 126
    virtual void fillTM(std::vector<std::uint64_t>& out) const = 0;                                                   // 127
    virtual void fillStackData(bool side, std::vector<double>& out) const = 0;                                        // 128
    virtual void fillStackError(bool side, std::vector<double>& out) const = 0;                                       // 129
    virtual std::uint64_t getNStack(bool side) const = 0;                                                             // 130
    virtual std::uint64_t getPeriod(bool side) const = 0;                                                             // 131
    virtual double getPolarizationVoltage(bool side) const = 0;                                                       // 132
    virtual double getInjectedCurrent(bool side) const = 0;                                                           // 133
    virtual double getPolarizationVoltageError(bool side) const = 0;                                                  // 134
    virtual double getInjectedCurrentError(bool side) const = 0;                                                      // 135
    virtual double getIp(bool first, bool second) const = 0;                                                          // 136
    virtual double getIpError(bool first, bool second) const = 0;                                                     // 137
    virtual double getColeColeM(bool first, bool second) const = 0;                                                   // 138
    virtual double getColeColeTau(bool first, bool second) const = 0;                                                 // 139
    virtual double getColeColeC(bool first, bool second) const = 0;                                                   // 140
    virtual double getColeColeMError(bool first, bool second) const = 0;                                              // 141
    virtual double getColeColeTauError(bool first, bool second) const = 0;                                            // 142
    virtual double getColeColeCError(bool first, bool second) const = 0;                                              // 143
    virtual void fillCurve(bool first, bool second, std::vector<double>& out) const = 0;                              // 144
    virtual void fillCurveError(bool first, bool second, std::vector<double>& out) const = 0;                         // 145
    virtual void fillMIp(bool first, bool second, std::vector<double>& out) const = 0;                                // 146
    virtual void fillMIpError(bool first, bool second, std::vector<double>& out) const = 0;                           // 147
    virtual bool getLostPPS() const = 0;                                                                              // 148
    virtual int getPPSOffset() const = 0;                                                                             // 149
    virtual bool isNoisy() const = 0;                                                                                 // 150
    virtual InjectionType getInjectionType() const = 0;                                                               // 151
    virtual bool isRXOnly() const = 0;                                                                                // 152
    virtual std::string getFrontDetectorName() const = 0;                                                             // 153
    virtual std::vector<std::pair<std::string, std::uint64_t>> getDataFilters() const = 0;                            // 154
    virtual std::string getPSExtractor() const = 0;                                                                   // 155
    virtual std::vector<std::pair<std::string, std::uint64_t>> getPostProcessingFilters() const = 0;                  // 156
    virtual std::string getOrigFile() const = 0;                                                                      // 157
    virtual std::string getSeqFile() const = 0;                                                                       // 158
    virtual std::uint64_t getOverloadedSamples(bool side) const = 0;                                                  // 159
    virtual StatisticFunctionType getStatFunction() const = 0;                                                        // 160
    virtual PolarizationComputeType getPolarizationComputeType() const = 0;                                           // 161
    virtual MErrorUnit getMErrorUnit() const = 0;                                                                     // 162
    virtual ResultComputationType getComputationType() const = 0;                                                     // 163

    static const std::uint64_t s_reading_file_text_id;

protected:
    Result_Reader() = default;
    Result_Reader(const Result_Reader&) = default;
    Result_Reader(Result_Reader&&) = default;
    Result_Reader& operator=(const Result_Reader&) = default;
    Result_Reader& operator=(Result_Reader&&) = default;
    ~Result_Reader() = default;
};
