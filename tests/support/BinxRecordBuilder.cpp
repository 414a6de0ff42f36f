#include "support/BinxRecordBuilder.h"

#include <algorithm>

namespace ertkit_test {

namespace {

void putText(Bytes& b, const std::string& text)
{
    b.u32(static_cast<std::uint32_t>(text.size())).text(text);
}

void putSpec(Bytes& b, const BINX_GeoSpec& spec, int version)
{
    b.i32(spec.get_unused_node() ? 1 : 0).i16(static_cast<std::int16_t>(spec.get_geo_type()));
    b.u32(spec.getUtmGridChar()).u32(spec.get_utm_zone()).u32(spec.get_elec_index());
    if (version >= 5) b.u8(spec.get_north_hemisphere() ? 0 : 1);
}

void putPoint(Bytes& b, double x, double y, double z, double depth, const BINX_GeoSpec& spec, int version)
{
    b.f64(x).f64(y).f64(z).f64(depth);
    putSpec(b, spec, version);
}

void putQuadrupole(Bytes& b, const BINX_Quadrupole& q, int version)
{
    for (unsigned int e = 0; e < 4; ++e) putPoint(b, q.getX(e), q.getY(e), q.getZ(e), q.getDepth(e), q.getGeoSpec(e), version);
}

void putGrid(Bytes& b, const BINX_GridGeo& g, int version)
{
    putPoint(b, g.getX(), g.getY(), g.getZ(), g.getOrientation(), g.getGeoSpec(), version);
    b.f64(g.getLocalX()).f64(g.getLocalY());
}

void putStatus(Bytes& b, const BINX_TxStatus& s, int version)
{
    if (version < 6) {
        b.u32(std::uint32_t{s.statRegC} | std::uint32_t{s.statRegI} << 8 | std::uint32_t{s.statRegP} << 16 |
              std::uint32_t{s.emergency} << 24 | std::uint32_t{s.overCurrent} << 25 | std::uint32_t{s.openLine} << 26 |
              std::uint32_t{s.overHeat} << 27 | std::uint32_t{s.lowBattery} << 28);
        return;
    }
    b.u8(s.statRegC).u8(s.statRegI).u8(s.statRegP);
    b.u8(s.emergency).u8(s.overCurrent).u8(s.openLine).u8(s.overHeat).u8(s.lowBattery);
}

const BINX_Data::Curve& curveOr(const BINX_Data& r, ElectrodeName first, ElectrodeName second)
{
    static const BINX_Data::Curve none;
    const auto found = r.curves.find({first, second});
    return found == r.curves.end() ? none : found->second;
}

void putCurves(Bytes& b, const BINX_Data& r, int v)
{
    if (v < 11) return;
    if (v <= 14) {
        const auto& ab = curveOr(r, ElectrodeName::A, ElectrodeName::B);
        const auto& mn = curveOr(r, ElectrodeName::M, ElectrodeName::N);
        for (double x : ab.values) b.f64(x);
        for (double x : mn.values) b.f64(x);
        if (v >= 12) b.f64(ab.extra).f64(mn.extra);
        return;
    }
    b.u32(static_cast<std::uint32_t>(r.curves.size()));
    for (const auto& [dipole, curve] : r.curves) {
        b.u8(static_cast<std::uint8_t>(dipole.first)).u8(static_cast<std::uint8_t>(dipole.second));
        for (double x : curve.values) b.f64(x);
        b.f64(curve.extra);
    }
}

} // namespace

BINX_Data sampleBinxRecord(int seed)
{
    BINX_Data r;
    // Plain values, each type's counting on from a start of the seed's own.
    double d = seed * 1000.0 + 0.5;
    for (double* x : {&r.startTimeV, &r.startTimeI, &r.spontaneousPotential, &r.polarizationVoltage, &r.injectedCurrent, &r.ip,
                      &r.auxReal1, &r.auxReal2, &r.polarizationVoltageDeviation, &r.ipDeviation, &r.rsCheck, &r.crenErrorRho,
                      &r.crenErrorM, &r.coleColeTau, &r.coleColeM, &r.coleColeC, &r.spacing, &r.gain, &r.offset, &r.gpsXV,
                      &r.gpsYV, &r.gpsXI, &r.gpsYI})
        *x = d += 1.25;
    float f = static_cast<float>(seed) + 0.5f;
    for (float* x : {&r.vab, &r.txBat, &r.txTemp, &r.rxBat, &r.rxTemp, &r.txCurrent, &r.m_waterDepth, &r.m_waterResistivity})
        *x = f += 1.5f;
    auto b = static_cast<std::uint8_t>(seed % 50 + 1);
    for (std::uint8_t* x : {&r.computeFilter, &r.vmnRequest, &r.vabRequest, &r.typeOfTxRegulation, &r.gainAuto, &r.timeSet,
                            &r.timeMode, &r.typeOfSwitch, &r.startSynchro, &r.mErrorUnitCode, &r.gapFiller, &r.rxRangeLow,
                            &r.gainIndex, &r.alarm, &r.typeOfRemote, &r.shutdownRs, &r.com0Enabled, &r.com1Enabled,
                            &r.rs485Enabled, &r.wifiEnabled, &r.gpsEnabled, &r.lastDataStored, &r.ppsFlag1, &r.ppsFlag2,
                            &r.waitRsCheck, &r.externalBat, &r.externalTxBat, &r.abUsed, &r.mnUsed, &r.switchTerraOn,
                            &r.typeOfSyncMultiSeq, &r.continousSurveyMarker, &r.computationType, &r.polarizationComputeType,
                            &r.auxByte1, &r.auxByte2, &r.auxByte3, &r.auxByte4, &r.auxByte5, &r.auxByte6, &r.auxByte7,
                            &r.auxByte8, &r.auxByte9, &r.auxByte10, &r.auxByte11})
        *x = b++;
    auto h = static_cast<std::uint16_t>(seed + 100);
    for (std::uint16_t* x : {&r.electrodeDispositionCode, &r.userSerialNumberV, &r.userSerialNumberI, &r.m_spacing10cm,
                             &r.m_offsetSounderCm, &r.m_delayBeforeAcquisition})
        *x = h++;
    auto w = static_cast<std::uint32_t>(seed) * 1000 + 0x105;
    for (std::uint32_t* x : {&r.overload, &r.nStack, &r.stackMin, &r.stackMax, &r.trigSynchro, &r.typeOfSequence, &r.auxWord1,
                             &r.auxWord2, &r.auxWord3, &r.auxWord4, &r.m_trigSyncChannel, &r.rsCheckStored, &r.rsCheckSaved,
                             &r.txInAsked, &r.monitoring, &r.switchError, &r.scriptCmdIndex, &r.trigOffset, &r.copyOrMoveOnUsb,
                             &r.numberOfTarvex, &r.m_tarvexNumber, &r.serialNumberV, &r.serialNumberI, &r.auxWords[0],
                             &r.auxWords[1], &r.auxWords[2], &r.auxWords[3]})
        *x = w++;
    std::int32_t i32 = -seed * 100 - 20;
    for (std::int32_t* x : {&r.gmtOffset, &r.quadripoleMeasured, &r.firstQuadripoleId, &r.lastQuadripoleId, &r.nElectrode,
                            &r.firstElectrodeId, &r.lastElectrodeId, &r.chanV, &r.chanI, &r.nQuadripole, &r.nRemoteQuadripole,
                            &r.nGapFiller, &r.nInjectionMin, &r.nSkippedQuadripole, &r.nSkippedElectrode, &r.nInjection,
                            &r.multiTxKey, &r.txVersion, &r.vDelay, &r.tmDelay})
        *x = i32 += 7;
    auto i16 = static_cast<std::int16_t>(-seed - 3);
    for (std::int16_t* x : {&r.switchFirstElectrodeId, &r.switchLastElectrodeId, &r.deviceCode}) *x = i16++;
    for (std::size_t i = 0; i < r.mppx.size(); ++i) r.mppx[i] = d + 10.0 * static_cast<double>(i);
    for (std::size_t i = 0; i < r.stackData.size(); ++i) r.stackData[i] = static_cast<float>(seed) + 0.5f * static_cast<float>(i);

    // Values whose meaning the tests rely on.
    for (std::size_t i = 0; i < r.tm.size(); ++i) r.tm[i] = i < 10 ? static_cast<std::int32_t>(100 + i) : 0;
    r.nTM = 10;
    r.vabMaxTx = 800.0 + seed; // whole, so that the old integer form keeps it
    r.pulseDurationMs = 2000;
    r.samplingRateCode = 10;
    r.injectionCode = 1;
    r.ignore = 0;
    r.continuousSurvey = 1; // stored as one byte
    r.continuousSurveyGps = 2;
    r.origFile = "orig-" + std::to_string(seed) + ".dat";
    r.seqFile = "seq-" + std::to_string(seed) + ".txt";
    r.keyText1 = "key-one-" + std::to_string(seed);
    r.keyText2 = "key-two-" + std::to_string(seed);
    r.iabPathIndex = 2;
    r.vmnPathIndex = 1;
    r.projectPathIndex = 0;
    r.resultId = 1000000000000ull + static_cast<std::uint64_t>(seed);
    r.associatedResultIds = {5, 9, 1000000000001ull};
    r.txStatus = BINX_TxStatus();
    r.txStatus.statRegC = 0x11;
    r.txStatus.statRegI = 0x22;
    r.txStatus.statRegP = 0x33;
    r.txStatus.emergency = true;
    r.txStatus.overHeat = true;
    r.quadrupole = BINX_Quadrupole(BINX_Geo(1, 2, 3, 4, BINX_GeoSpec(1, 2, 'T', 31, 5, false)),
                                   BINX_Geo(5, 6, 7, 8, BINX_GeoSpec(0, 4, 0, 0, 6, true)),
                                   BINX_Geo(9, 10, 11, 12, BINX_GeoSpec(0, 1, 0, 0, 65535, false)),
                                   BINX_Geo(13, 14, 15, 16, BINX_GeoSpec(1, 5, 'Q', 17, 8, true)));
    r.grid = BINX_GridGeo(500000.5, 4000000.5, 120.0, 135.0, BINX_GeoSpec(0, 2, 'U', 31, 0, false), 1.5, 2.5);
    const std::pair<ElectrodeName, ElectrodeName> dipoles[] = {
        {ElectrodeName::A, ElectrodeName::B}, {ElectrodeName::M, ElectrodeName::N}, {ElectrodeName::A, ElectrodeName::M}};
    for (const auto& dipole : dipoles) {
        auto& curve = r.curves[dipole];
        for (double& x : curve.values) x = d += 0.5;
        curve.extra = d += 0.25;
    }
    r.m_isGlobalGrid = 1;
    return r;
}

Bytes binxRecordBytes(const BINX_Data& r, int v)
{
    Bytes b;
    b.u32(static_cast<std::uint32_t>(v));
    b.f64(r.startTimeV).f64(r.startTimeI).u32(r.overload).u32(r.nStack);
    b.f64(r.spontaneousPotential).f64(r.polarizationVoltage).f64(r.injectedCurrent).f64(r.ip);
    for (double x : r.mppx) b.f64(x);
    b.f64(r.auxReal1).f64(r.auxReal2).f64(r.polarizationVoltageDeviation).f64(r.ipDeviation).f64(r.rsCheck);
    b.f32(r.vab).f32(r.txBat).f32(r.txTemp).f32(r.rxBat).f32(r.rxTemp);
    for (float x : r.stackData) b.f32(x);
    putText(b, r.origFile);
    b.f32(r.txCurrent);
    if (v >= 3) b.f64(r.vabMaxTx);
    else b.i32(static_cast<std::int32_t>(r.vabMaxTx));
    b.u16(r.electrodeDispositionCode).u32(r.stackMin).u32(r.stackMax).f64(r.crenErrorRho).f64(r.crenErrorM);
    b.i32(r.pulseDurationMs).i32(r.vDelay).i32(r.tmDelay);
    for (auto x : r.tm) b.i32(x);
    b.u8(r.computeFilter).u32(r.trigSynchro).u32(r.samplingRateCode);
    b.u8(r.vmnRequest).u8(r.vabRequest).u8(r.typeOfTxRegulation).u8(r.injectionCode).u8(r.gainAuto);
    b.u8(r.timeSet).u8(r.timeMode).u8(r.typeOfSwitch).u8(r.startSynchro).i32(r.gmtOffset).u8(r.mErrorUnitCode);
    putText(b, r.seqFile);
    b.u32(r.typeOfSequence).u32(r.auxWord1).u32(r.m_trigSyncChannel).u32(r.auxWord2);
    b.i32(r.quadripoleMeasured).i32(r.firstQuadripoleId).i32(r.lastQuadripoleId);
    b.i32(r.nElectrode).i32(r.firstElectrodeId).i32(r.lastElectrodeId).f64(r.spacing);
    b.i32(r.chanV).i32(r.chanI).u8(r.gapFiller).u8(r.rxRangeLow).u8(r.gainIndex).f64(r.gain).f64(r.offset);
    putQuadrupole(b, r.quadrupole, v);
    putGrid(b, r.grid, v);
    b.u8(r.alarm).u8(r.typeOfRemote).u8(r.shutdownRs).u8(r.com0Enabled).u8(r.com1Enabled);
    b.u8(r.rs485Enabled).u8(r.wifiEnabled).u8(r.gpsEnabled).u8(r.lastDataStored).u8(r.auxByte1).u8(r.ignore);
    b.f64(r.gpsXV).f64(r.gpsYV).i16(r.deviceCode).u32(r.iabPathIndex).u32(r.vmnPathIndex).u32(r.projectPathIndex);
    if (v >= 2) {
        putText(b, r.keyText1);
        putText(b, r.keyText2);
    } else if (v == 1) {
        for (const std::string* key : {&r.keyText1, &r.keyText2}) {
            const std::size_t n = std::min<std::size_t>(key->size(), 28);
            b.text(key->substr(0, n)).zeros(28 - n);
        }
    }
    b.f64(r.coleColeTau).f64(r.coleColeM).f64(r.coleColeC).u8(r.ppsFlag1);
    if (v < 9)
        for (int i = 0; i < 48; ++i) b.u8(static_cast<std::uint8_t>(0xA0 + i));
    b.i32(r.nQuadripole).i32(r.nRemoteQuadripole).i32(r.nGapFiller).i32(r.nInjectionMin);
    b.i32(r.nSkippedQuadripole).i32(r.nSkippedElectrode);
    if (v >= 3) b.i32(r.nInjection);
    b.u8(r.waitRsCheck).u32(r.rsCheckStored).u32(r.rsCheckSaved).u8(r.externalBat).u8(r.auxByte2).u8(r.auxByte3);
    b.u32(r.txInAsked).u32(r.monitoring).u32(r.switchError).u32(r.scriptCmdIndex).u32(r.auxWord3).u32(r.trigOffset);
    b.u16(r.userSerialNumberV);
    for (auto x : r.auxWords) b.u32(x);
    if (v >= 3) {
        b.u8(r.abUsed).u8(r.mnUsed).u8(r.auxByte4).u8(r.auxByte5).u8(r.switchTerraOn).u32(r.copyOrMoveOnUsb);
        b.u8(r.auxByte6).u8(r.auxByte7).u8(r.auxByte8).u8(r.ppsFlag2).u32(r.numberOfTarvex).u32(r.m_tarvexNumber);
        b.i32(r.multiTxKey).u8(r.typeOfSyncMultiSeq).i16(r.switchFirstElectrodeId).i16(r.switchLastElectrodeId);
        if (v < 6) putStatus(b, r.txStatus, v);
    }
    if (v >= 4) {
        b.f32(r.m_waterDepth).u16(r.m_spacing10cm).u16(r.m_offsetSounderCm).u16(r.m_delayBeforeAcquisition);
        b.f32(r.m_waterResistivity).u8(static_cast<std::uint8_t>(r.continuousSurvey));
        b.u8(static_cast<std::uint8_t>(r.continuousSurveyGps)).u8(r.auxByte9).u8(r.continousSurveyMarker);
        b.u8(r.auxByte10).u8(r.externalTxBat);
    }
    if (v >= 6) putStatus(b, r.txStatus, v);
    if (v >= 7) b.u32(r.auxWord4);
    if (v >= 8) b.u32(r.serialNumberV).u32(r.serialNumberI).u16(r.userSerialNumberI);
    if (v >= 10) b.f64(r.gpsXI).f64(r.gpsYI).i32(r.txVersion).u64(r.resultId);
    if (v >= 11) b.u8(r.computationType);
    if (v >= 14) b.u8(r.polarizationComputeType);
    if (v >= 11) {
        b.u32(static_cast<std::uint32_t>(r.associatedResultIds.size()));
        for (auto id : r.associatedResultIds) b.u64(id);
    }
    putCurves(b, r, v);
    if (v >= 16) b.u8(r.auxByte11);
    if (v == 13 || v >= 15) b.u8(r.m_isGlobalGrid);
    return b;
}

BinxFileBuilder& addRecord(BinxFileBuilder& file, const BINX_Data& record, int record_version)
{
    file.records.push_back(binxRecordBytes(record, record_version));
    return file;
}

} // namespace ertkit_test
