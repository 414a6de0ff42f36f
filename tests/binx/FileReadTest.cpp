#include "BinxTestHelpers.h"

#include <binx/BINX_File.h>

#include <gtest/gtest.h>

using binx_test::ByteFile;
using ertkit_test::BinxFileBuilder;
using ertkit_test::ProgressLog;
using ertkit_test::addRecord;
using ertkit_test::Bytes;
using ertkit_test::sampleBinxRecord;

namespace {

BINX_Data numbered(int n)
{
    BINX_Data d = sampleBinxRecord(n);
    d.quadripoleMeasured = n;
    return d;
}

BinxFileBuilder fileOf(int n_records)
{
    BinxFileBuilder b;
    for (int i = 0; i < n_records; ++i) addRecord(b, numbered(i));
    b.recordings = {"r0.iab", "r1.vmn", "r2.iab"};
    return b;
}

std::string openFailure(const std::vector<std::uint8_t>& bytes, const std::string& name = "f.binx")
{
    ByteFile file(bytes, name);
    const std::string what = binx_test::failure([&] { BINX_File opened(file.path()); });
    return what == "no exception" ? "opened" : what;
}

std::vector<std::uint8_t> cut(const Bytes& bytes, std::size_t keep)
{
    return {bytes.data().begin(), bytes.data().begin() + static_cast<std::ptrdiff_t>(keep)};
}

} // namespace

TEST(BinxFileRead, HeaderNamesAndRecords)
{
    BinxFileBuilder b = fileOf(3);
    b.header_byte = 9;
    b.software = 2;
    b.software_version = {1, 2, 3};
    b.folder = "D:\\data";
    b.recordings = {"A.iab", std::string("P1\0x", 4)};
    b.projects = {"abc", ""};
    ByteFile file(b.build());
    const BINX_File f(file.path());
    EXPECT_EQ(f.getVersion(), 6u);
    EXPECT_EQ(f.getHeaderByte(), 9);
    EXPECT_EQ(f.getSoftware(), static_cast<BINX_File::Software>(2));
    EXPECT_EQ(f.getSoftwareVersion(), (std::array<short, 3>{1, 2, 3}));
    EXPECT_EQ(f.getFolderPath(), "D:\\data");
    EXPECT_EQ(f.getFullPath(0), "D:\\data\\A.iab");
    EXPECT_EQ(f.getFileNamesIabOrVmn(), (std::vector<std::string>{"A.iab", std::string("P1\0x", 4)}));
    EXPECT_EQ(f.getFileNamesProject(), (std::vector<std::string>{"abc", ""}));
    ASSERT_EQ(f.getDatas().size(), 3u);
    ASSERT_EQ(f.getResults().size(), 3u);
    for (unsigned int i = 0; i < 3; ++i) {
        EXPECT_EQ(f.getData(i).quadripoleMeasured, static_cast<int>(i));
        EXPECT_EQ(f.getResults()[i], static_cast<const Result_Reader*>(f.getDatas()[i]));
    }
    EXPECT_THROW(f.getData(3), std::out_of_range);
    EXPECT_THROW(f.getFullPath(2), std::out_of_range);
}

TEST(BinxFileRead, ExtensionIsTheLastFourCharacters)
{
    const auto bytes = fileOf(1).build().data();
    EXPECT_EQ(openFailure(bytes, "x.BinX"), "opened");
    EXPECT_EQ(openFailure(bytes, "surveybinx"), "opened");
    EXPECT_EQ(openFailure(bytes, "x.bin"), "invalid file extension");
    EXPECT_THROW(BINX_File("bin"), std::out_of_range);
    ertkit_test::TempDir dir;
    EXPECT_EQ(openFailure({}, "empty.binx"), "incomplete file");
    EXPECT_EQ(binx_test::failure<std::runtime_error>([&] { BINX_File missing(dir.file("missing.binx")); }), "incomplete file");
}

TEST(BinxFileRead, ProgressInTheHostOrder)
{
    ByteFile file(fileOf(2).build());
    ProgressLog progress;
    const BINX_File f(file.path(), progress);
    const std::string text = "text " + std::to_string(static_cast<std::uint32_t>(Result_Reader::s_reading_file_text_id));
    EXPECT_EQ(progress.calls, (std::vector<std::string>{text, "range 10000 0 1", "position 0", "step", "step", "step"}));
}

TEST(BinxFileRead, DamagedRecordsEndTheFileQuietly)
{
    BinxFileBuilder ten = fileOf(7);
    ten.record_count = 10;
    ByteFile short_file(ten.build());
    EXPECT_EQ(BINX_File(short_file.path()).getDatas().size(), 7u);

    BinxFileBuilder damaged = fileOf(7);
    Bytes bad = ertkit_test::binxRecordBytes(numbered(7), 16);
    bad.data().resize(3480);
    bad.u32(0x7FFFFFFF).text("text that is far shorter than its length");
    damaged.records.push_back(bad);
    addRecord(addRecord(damaged, numbered(8)), numbered(9));
    ByteFile damaged_file(damaged.build());
    const BINX_File f(damaged_file.path());
    ASSERT_EQ(f.getDatas().size(), 7u);
    EXPECT_EQ(f.getData(6).quadripoleMeasured, 6);

    // A record cut anywhere keeps the ones before it.
    const Bytes whole = fileOf(3).build();
    const std::size_t record = ertkit_test::binxRecordBytes(numbered(0), 16).size();
    ByteFile cut_file(cut(whole, whole.size() - record / 2));
    EXPECT_EQ(BINX_File(cut_file.path()).getDatas().size(), 2u);
}

TEST(BinxFileRead, FilesEndingInTheHeaderOrNamesAreIncomplete)
{
    BinxFileBuilder b = fileOf(0);
    b.projects = {"proj"};
    const Bytes whole = b.build();
    const std::size_t names_end = whole.size() - 4; // before the record count
    // Inside the version, the header text, the folder, a recording name, a project name.
    for (const std::size_t keep : {std::size_t{2}, std::size_t{4}, std::size_t{100}, std::size_t{1300}, names_end - 30, names_end - 3})
        EXPECT_EQ(openFailure(cut(whole, keep)), "incomplete file") << keep;
    // Short of the last project name byte only, or of the unchecked record count: no error.
    EXPECT_EQ(openFailure(cut(whole, names_end - 1)), "opened");
    EXPECT_EQ(openFailure(cut(whole, names_end)), "opened");
}

TEST(BinxFileRead, HostileCountsAndLengthsAreBounded)
{
    // Counts of 0xFFFFFFFF reserve no more than the file could hold.
    for (auto count : {&BinxFileBuilder::recording_count, &BinxFileBuilder::project_count}) {
        BinxFileBuilder names = fileOf(0);
        names.*count = 0xFFFFFFFFu;
        EXPECT_EQ(openFailure(names.build().data()), "incomplete file");
    }
    BinxFileBuilder records = fileOf(2);
    records.record_count = 0xFFFFFFFFu;
    ByteFile file(records.build());
    EXPECT_EQ(BINX_File(file.path()).getDatas().size(), 2u);
    // A name whose length claims 4 GiB.
    Bytes names = BinxFileBuilder{}.build();
    names.data().resize(names.size() - 12); // drop both empty lists and the record count
    names.u32(1).u32(0xFFFFFFFFu).text("x.iab");
    EXPECT_EQ(openFailure(names.data()), "incomplete file");
}
