#include "BinTestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <stdexcept>

using namespace bin_test;
using ertkit_test::Bytes;
using ertkit_test::TempDir;

namespace {

std::vector<float> vabs(const BIN_File& file)
{
    std::vector<float> out;
    for (const Result_Reader* r : file.getResults()) out.push_back(static_cast<float>(r->getVAB()));
    return out;
}

std::string writeBytes(const TempDir& dir, const std::vector<std::uint8_t>& bytes, const std::string& name = "f.bin")
{
    const std::string path = dir.file(name);
    ertkit_test::writeFile(path, bytes);
    return path;
}

std::string messageOf(const std::string& path)
{
    return ertkit_test::failure<std::runtime_error>([&] { BIN_File file(path); });
}

} // namespace

TEST(BinFile, ReadsNamesAndRecordsWithOneProgressStepPerLoopTurn)
{
    const TempDir dir;
    const std::string path = dir.file("survey.bin");
    // A file that ends after its names has no records, and one step for its one loop turn.
    BinFileWriter::write(path, withRecords(0));
    ertkit_test::ProgressLog no_records;
    EXPECT_TRUE(BIN_File(path, no_records).getResults().empty());
    EXPECT_EQ(std::count(no_records.calls.begin(), no_records.calls.end(), "step"), 1);

    BinFileWriter::write(path, withRecords(3));
    ertkit_test::ProgressLog progress;
    const BIN_File file(path, progress);

    ASSERT_EQ(file.getDatas().size(), 3u);
    EXPECT_EQ(vabs(file), (std::vector<float>{0, 1, 2}));
    ASSERT_EQ(file.getResults().size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(file.getResults()[i], static_cast<Result_Reader*>(file.getDatas()[i]));

    const std::vector<std::string> expected = {"text " + std::to_string(Result_Reader::s_reading_file_text_id),
                                               "range 10000 0 1", "position 0", "step", "step", "step", "step"};
    EXPECT_EQ(progress.calls, expected);

    EXPECT_EQ(file.getFolderPath(), "D:\\survey\\line1");
    EXPECT_EQ(file.getFileNames(), BinFileContents{}.names);
    EXPECT_EQ(file.getFullPath(1), "D:\\survey\\line1\\vp123-4567@120523_143015.vmn");
    EXPECT_THROW(file.getFullPath(2), std::out_of_range);
}

TEST(BinFile, NameEntriesDropTheirTerminatingZero)
{
    BinFileContents contents;
    contents.folder = "D:\\old";
    Bytes bytes = BinFileWriter::header(contents);
    bytes.data().resize(BinFileWriter::s_names_offset - 2);
    bytes.u16(3).u16(7).text("P1.iab").u8(0).u16(0).u16(1).u8(0);
    const TempDir dir;
    const BIN_File file(writeBytes(dir, bytes.data()));
    EXPECT_EQ(file.getFileNames(), (std::vector<std::string>{"P1.iab", "", ""}));
    EXPECT_EQ(file.getFullPath(0), "D:\\old\\P1.iab");
    EXPECT_EQ(file.getFullPath(1), "D:\\old\\");
    EXPECT_TRUE(file.getDatas().empty());
}

TEST(BinFile, FolderWithoutTerminatorKeepsAll260Bytes)
{
    BinFileContents contents;
    contents.folder = std::string(300, 'x');
    const BIN_File file = openBin(contents);
    EXPECT_EQ(file.getFolderPath(), std::string(260, 'x'));
}

TEST(BinFile, ChecksTheExtensionCaseInsensitively)
{
    const TempDir dir;
    const std::vector<std::uint8_t> bytes = BinFileWriter::file(withRecords(1)).data();
    EXPECT_EQ(BIN_File(writeBytes(dir, bytes, "UPPER.BIN")).getDatas().size(), 1u);
    EXPECT_EQ(messageOf(writeBytes(dir, bytes, "new.binx")), "invalid file extension");
    EXPECT_EQ(messageOf(writeBytes(dir, bytes, "bin")), "invalid file extension");
    EXPECT_THROW(BIN_File("bin"), std::out_of_range);
    EXPECT_THROW(BIN_File(""), std::out_of_range);
}

TEST(BinFile, RejectsUnknownVersionsAndIncompleteHeaders)
{
    const std::vector<std::uint8_t> valid = BinFileWriter::file(withRecords(1)).data();
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        const char* message;
    };
    auto version = [](std::uint32_t v, std::uint8_t header_byte) {
        BinFileContents contents;
        contents.version = v;
        contents.header_byte = header_byte;
        return BinFileWriter::file(contents).data();
    };
    auto cut = [&](std::size_t size) { return std::vector<std::uint8_t>(valid.begin(), valid.begin() + size); };
    const Case cases[] = {
        {"version 0x80000003", version(0x80000003u, 9), "bin file version not implemented"},
        {"header byte 8", version(0x80000004u, 8), "bin file version not implemented"},
        {"empty file", cut(0), "incomplete file"},
        {"inside the version", cut(3), "incomplete file"},
        // The header byte is missing but checked as zero before the stream is checked again.
        {"no header byte", cut(4), "bin file version not implemented"},
        {"inside the header text", cut(600), "incomplete file"},
        {"inside the folder", cut(1100), "incomplete file"},
        {"inside a name length", cut(1292), "incomplete file"},
        {"inside a name", cut(1300), "incomplete file"},
    };
    const TempDir dir;
    for (const Case& c : cases) EXPECT_EQ(messageOf(writeBytes(dir, c.bytes)), c.message) << c.what;
    EXPECT_EQ(messageOf(dir.file("missing.bin")), "incomplete file");

    // The stream is checked before the name count, not after it: a file that ends right
    // there reads a count of zero and opens with nothing.
    const BIN_File empty(writeBytes(dir, cut(BinFileWriter::s_names_offset - 2)));
    EXPECT_TRUE(empty.getFileNames().empty());
    EXPECT_TRUE(empty.getResults().empty());
}

TEST(BinFile, HostileNameCountsAndLengthsFailCleanly)
{
    const TempDir dir;
    Bytes count = BinFileWriter::header(BinFileContents{});
    count.data().resize(BinFileWriter::s_names_offset - 2);
    count.u16(0xFFFF).u16(4).text("a.b").u8(0);
    EXPECT_EQ(messageOf(writeBytes(dir, count.data())), "incomplete file");

    Bytes length = BinFileWriter::header(BinFileContents{});
    length.data().resize(BinFileWriter::s_names_offset - 2);
    length.u16(1).u16(0xFFFF).text("short");
    EXPECT_EQ(messageOf(writeBytes(dir, length.data())), "incomplete file");
}

TEST(BinFile, RecordLoopEndsQuietlyAtTheFirstUnreadableRecord)
{
    struct Case {
        const char* what;
        void (*damage)(BinRecordFields&);
    };
    const Case cases[] = {
        {"record version 2", [](BinRecordFields& r) { r.version = 2; }},
        {"I index names a voltage recording", [](BinRecordFields& r) { r.i_index = 1; }},
        {"V index names a current recording", [](BinRecordFields& r) { r.v_index = 0; }},
        {"I index past the names", [](BinRecordFields& r) { r.i_index = 3; }},
        {"negative V index", [](BinRecordFields& r) { r.v_index = -1; }},
        {"name of no recording", [](BinRecordFields& r) { r.i_index = 2; }},
    };
    for (const Case& c : cases) {
        BinFileContents contents = withRecords(4);
        contents.names.push_back("notes.txt");
        c.damage(contents.records[2]);
        const BIN_File file = openBin(contents);
        EXPECT_EQ(vabs(file), (std::vector<float>{0, 1})) << c.what;
    }
}

TEST(BinFile, TruncatedRecordsKeepTheRecordsBeforeThem)
{
    const std::vector<std::uint8_t> full = BinFileWriter::file(withRecords(3)).data();
    const TempDir dir;
    struct Case {
        std::size_t missing;
        std::size_t records;
    };
    // Only the last field can be short without the record failing, as no check follows it:
    // one byte missing leaves V index 1, two leave 0, which names the current recording.
    const Case cases[] = {{1, 3}, {2, 2}, {3, 2}, {100, 2}, {307, 2}, {308, 2}, {309, 2}, {310, 1}};
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> bytes(full.begin(), full.end() - static_cast<std::ptrdiff_t>(c.missing));
        EXPECT_EQ(BIN_File(writeBytes(dir, bytes)).getDatas().size(), c.records) << c.missing << " bytes missing";
    }
}

TEST(BinFile, MovesItsRecords)
{
    BIN_File source = openBin(withRecords(2));
    const BIN_Data* first = source.getDatas().front();
    BIN_File moved(std::move(source));
    EXPECT_EQ(moved.getDatas().front(), first);
    EXPECT_EQ(moved.getResults().size(), 2u);
    EXPECT_EQ(moved.getPath(), source.getPath());
    EXPECT_TRUE(source.getDatas().empty());
    EXPECT_TRUE(source.getResults().empty());

    BIN_File target = openBin(withRecords(3));
    target = std::move(moved);
    EXPECT_EQ(target.getDatas().front(), first);
    EXPECT_EQ(vabs(target), (std::vector<float>{0, 1}));
    EXPECT_EQ(target.getFullPath(0), "D:\\survey\\line1\\in123@120523_143015.iab");
    EXPECT_TRUE(moved.getResults().empty());
}

TEST(BinFile, DamagedFilesOpenOrFailWithAReadingError)
{
    const std::vector<std::uint8_t> valid = BinFileWriter::file(withRecords(2)).data();
    const TempDir dir;
    const std::string path = dir.file("damaged.bin");
    auto openOrFail = [&](const std::vector<std::uint8_t>& bytes) {
        // A new file each time: rewriting a truncated one makes some file systems flush.
        std::filesystem::remove(path);
        ertkit_test::writeFile(path, bytes);
        try {
            return BIN_File(path).getDatas().size();
        } catch (const std::runtime_error&) {
            return std::size_t{0};
        }
    };
    for (std::size_t size = 0; size <= valid.size(); ++size)
        EXPECT_LE(openOrFail(std::vector<std::uint8_t>(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(size))), 2u);

    std::mt19937 random(20240611);
    for (int variant = 0; variant < 300; ++variant) {
        std::vector<std::uint8_t> bytes = valid;
        for (int flips = 0; flips < 4; ++flips) bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
        EXPECT_LE(openOrFail(bytes), 2u);
    }
}
