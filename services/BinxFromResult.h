#pragma once

#include <host/Result_Reader.h>

class BINX_Data;

namespace ertkit {

// A BINX record holding what a result of any format says of its measure, so that a legacy
// result can be edited and written as BINX: the electrodes with their coordinate specs, the
// start times and serial numbers of both receivers, the channels, Vp, I, SP and their
// deviations, M and its windows, the stacked half cycle and the stack count, the pulse, the
// sample period, the injection type, the voltage window's delay, the flags (ignore, overload,
// gap filler, noisy), GPS and battery values, the source file name and the array.
// Whatever the result keeps in a form a BINX record cannot hold (a sample period outside the
// record's table, more than 20 windows) is left at the record's default.
void fillBinxFromResult(const Result_Reader& result, BINX_Data& record);

} // namespace ertkit

#include <memory>

class BINX_File;
class Result_File;

namespace ertkit {

// The records of any result file as a BINX file, in order: a BINX file is handed back as it
// is (names, folder and every value kept); a legacy one gives a BINX record made of each of
// its results (fillBinxFromResult), in the folder it names.
std::unique_ptr<BINX_File> binxFileOf(std::unique_ptr<Result_File> results);
// A legacy file's records as a new BINX file, as above; the legacy file is left as it is.
std::unique_ptr<BINX_File> binxFileOf(const Result_File& legacy);

} // namespace ertkit
