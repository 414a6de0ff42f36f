#pragma once

#include <services/FileFormats.h>

#include <bin/BIN_File.h>
#include <binx/BINX_File.h>
#include <fullwave/IAB_VMN_File.h>
#include <host/IV_File_Reader.h>
#include <host/Result_File.h>

#include <cstdint>
#include <filesystem>
#include <istream>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace ertkit {

// A path's extension in lower case, dot included: extensions are matched whatever their case.
std::string lowerExtension(const std::filesystem::path& path);

// The files of a folder that are recordings by their extensions (fileKind), links followed:
// what a command looking for recordings there may read, and so must never write. None when
// the folder cannot be listed.
std::vector<std::filesystem::path> recordingsIn(const std::filesystem::path& folder);

// An opened file, as the reader of its format.
struct OpenedFile {
    std::variant<std::unique_ptr<IAB_VMN_File>, std::unique_ptr<BINX_File>, std::unique_ptr<BIN_File>> reader;
};

// The bytes of a file, read once from where they stand, as `format`. `name` is the path or
// name they come under (empty for none). When `named`, the format is the name's own and a
// recording takes its serial numbers from the name as from a path, a name outside the grammar
// being refused; otherwise a recording takes them from a name that follows the grammar, or
// gets 0.
struct ByteSource {
    std::istream& in;
    std::string name;
    FileFormat format;
    bool named = false;
};

// Every way of opening a file goes through here, so that it fails and warns alike whatever
// the front end or the source:
// - the full-wave reader's fixed messages are explained (explainedFailure);
// - a recording name whose serial numbers or date are not numbers throws
//   std::invalid_argument saying which form is expected;
// - a BINX result file named as a recording is refused, where the full-wave reader would take
//   its bytes for pages (looked at in regular files and seekable bytes only: a pipe would lose
//   the bytes read);
// - a BINX file that ends (or is damaged) before the records its header announces opens with
//   the records before, and a warning on the library's log says where it ends.
// The path form opens by the extension, the raw recordings through the full-wave reader
// itself. Before the readers see a path, one that names no file, a folder or a file we may not
// read throws std::runtime_error saying so ("no such file", "it is a folder, not a file", the
// system's reason), where the readers would each word it their own way.
OpenedFile openFile(const ByteSource& source, ProgressCallback& progress,
                    IAB_VMN_File::Samples samples = IAB_VMN_File::Samples::Kept);
std::unique_ptr<IV_File_Reader> openRecording(const std::string& path, ProgressCallback& progress,
                                              IAB_VMN_File::Samples samples = IAB_VMN_File::Samples::Kept);
std::unique_ptr<Result_File> openResults(const std::string& path, ProgressCallback& progress);

// The full-wave reader's fixed messages ("cannot read file"...) kept as they are, with what
// they mean to a person; any other message as it is. openFile explains its failures so.
std::string explainedFailure(const std::string& message);

// The bytes of a recording the full-wave reader has read by the time it reports `steps`
// progress steps: it counts without announcing a total, one step per 100 pages.
std::uint64_t recordingBytesRead(std::uint64_t steps);

} // namespace ertkit
