#include "BinxTestHelpers.h"

#include <binx/BINX_File.h>

#include <gtest/gtest.h>

#include <memory>

using binx_test::ByteFile;
using binx_test::failure;
using ertkit_test::BinxFileBuilder;
using ertkit_test::addRecord;
using ertkit_test::sampleBinxRecord;
using ertkit_test::TempDir;

namespace {

BINX_Data* numbered(int n, bool ignored = false)
{
    auto* d = new BINX_Data(sampleBinxRecord(n));
    d->quadripoleMeasured = n;
    d->ignore = ignored ? 1 : 0;
    d->iabPathIndex = d->vmnPathIndex = d->projectPathIndex = BINX_Data::NO_PATH;
    return d;
}

BINX_File fileOf(int n_records)
{
    BINX_File f;
    for (int i = 0; i < n_records; ++i) f.addData(numbered(i));
    return f;
}

std::vector<int> numbers(const BINX_File& f)
{
    std::vector<int> out;
    for (const BINX_Data* d : f.getDatas()) out.push_back(d->quadripoleMeasured);
    // The host's view always lists the same records.
    EXPECT_EQ(f.getResults().size(), f.getDatas().size());
    for (std::size_t i = 0; i < f.getResults().size() && i < f.getDatas().size(); ++i)
        EXPECT_EQ(f.getResults()[i], static_cast<const Result_Reader*>(f.getDatas()[i]));
    return out;
}

std::vector<std::uint8_t> writtenBytes(const BINX_File& f)
{
    TempDir dir;
    f.writeToFile(dir.file("out.binx"), false, 0, -1, false);
    return ertkit_test::readFile(dir.file("out.binx"));
}

BINX_File writtenAndRead(const BINX_File& f, unsigned int first = 0, int last = -1, bool skip_ignored = false)
{
    TempDir dir;
    const std::string path = dir.file("out.binx");
    f.writeToFile(path, false, first, last, skip_ignored);
    return BINX_File(path);
}

} // namespace

TEST(BinxFileWrite, RangeRules)
{
    struct Case {
        unsigned int first;
        int last;
        std::vector<int> written;
    };
    const Case cases[] = {{0, -1, {0, 1, 2, 3, 4}}, {3, 1, {0, 1}}, {2, 99, {2, 3, 4}}, {5, -1, {0, 1, 2, 3, 4}},
                          {4, 4, {4}},             {1, -7, {1, 2, 3, 4}}, {0, 0, {0}}};
    const BINX_File f = fileOf(5);
    for (const Case& c : cases) EXPECT_EQ(numbers(writtenAndRead(f, c.first, c.last)), c.written) << c.first << " " << c.last;
    EXPECT_TRUE(numbers(writtenAndRead(BINX_File(), 0, -1)).empty());
    EXPECT_TRUE(numbers(writtenAndRead(BINX_File(), 3, 2)).empty());
}

TEST(BinxFileWrite, SkipsIgnoredRecordsAndCountsTheRest)
{
    BINX_File f;
    for (int i = 0; i < 5; ++i) f.addData(numbered(i, i == 1 || i == 3));
    TempDir dir;
    const std::string path = dir.file("skip.binx");
    f.writeToFile(path, true, 0, -1, true);
    const auto bytes = ertkit_test::readFile(path);
    const std::size_t count_at = 12 + 4 + 1024 + 4 + 260 + 4 + 4;
    EXPECT_EQ(bytes[count_at], 3);
    EXPECT_EQ(numbers(BINX_File(path)), (std::vector<int>{0, 2, 4}));
    EXPECT_EQ(numbers(writtenAndRead(f, 0, -1, false)), (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(BinxFileWrite, WritesVersionSixFieldByField)
{
    BinxFileBuilder b;
    b.version = 5;
    b.header_byte = 3;
    b.header_text = "survey notes";
    b.folder = "D:\\survey";
    b.recordings = {"P1.iab", "P1.vmn"};
    b.projects = {"abc"};
    BINX_Data record = sampleBinxRecord(1);
    record.iabPathIndex = 0;
    record.vmnPathIndex = 1;
    addRecord(b, record);
    ByteFile old(b.build());
    const BINX_File f(old.path());
    EXPECT_EQ(f.getVersion(), 5u);
    EXPECT_EQ(f.getSoftware(), 0);

    BinxFileBuilder expected = b;
    expected.version = 6; // with the software fields, 0 unless set
    EXPECT_EQ(writtenBytes(f), expected.build().data());

    BINX_File edited = writtenAndRead(f);
    EXPECT_EQ(edited.getVersion(), BINX_File::m_last_version);
    edited.setSoftware(static_cast<BINX_File::Software>(4));
    edited.setSoftwareVersion(2, -1, 7);
    expected.software = 4;
    expected.software_version = {2, -1, 7};
    EXPECT_EQ(writtenBytes(edited), expected.build().data());
}

TEST(BinxFileWrite, UnwritablePathIsNotAnError)
{
    TempDir dir;
    EXPECT_NO_THROW(fileOf(2).writeToFile(dir.file("no/such/folder.binx"), true, 0, -1, false));
}

TEST(BinxFileEdit, AddRemoveReplace)
{
    BINX_File f = fileOf(7);
    EXPECT_EQ(failure<std::out_of_range>([&] { f.removeData(7); }), "7 > size m_tab_measure (=7)");
    EXPECT_EQ(failure([&] { f.replaceData(9, nullptr); }), "9 > size m_tab_measure (=7)");
    EXPECT_EQ(failure([&] { f.setIabPathIndex(7, 0); }), "7 > size m_tab_measure (=7)");
    EXPECT_EQ(failure([&] { f.setVmnPathIndex(8, 0); }), "8 > size m_tab_measure (=7)");
    EXPECT_EQ(failure([&] { f.setProjectPathIndex(100, 0); }), "100 > size m_tab_measure (=7)");
    EXPECT_EQ(numbers(f), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));

    std::unique_ptr<BINX_Data> removed(f.getDatas()[2]);
    f.removeData(2);
    EXPECT_EQ(numbers(f), (std::vector<int>{0, 1, 3, 4, 5, 6}));
    std::unique_ptr<BINX_Data> displaced(f.getDatas()[0]);
    f.replaceData(0, numbered(10));
    EXPECT_EQ(numbers(f), (std::vector<int>{10, 1, 3, 4, 5, 6}));

    // By identity: key texts, start times and channels.
    BINX_Data* same = numbered(20);
    const BINX_Data& target = f.getData(3);
    same->keyText1 = target.keyText1;
    same->keyText2 = target.keyText2;
    same->startTimeV = target.startTimeV;
    same->startTimeI = target.startTimeI;
    same->chanV = target.chanV;
    same->chanI = target.chanI;
    std::unique_ptr<BINX_Data> displaced_by_identity(f.getDatas()[3]);
    f.replaceData(same);
    EXPECT_EQ(numbers(f), (std::vector<int>{10, 1, 3, 20, 5, 6}));
    BINX_Data* other = numbered(21);
    other->chanI = 99;
    f.replaceData(other);
    f.addData(nullptr); // null records are refused
    f.replaceData(nullptr);
    f.replaceData(0, nullptr);
    EXPECT_EQ(numbers(f), (std::vector<int>{10, 1, 3, 20, 5, 6, 21}));

    f.setIabPathIndex(1, 4);
    f.setVmnPathIndex(1, -1);
    f.setProjectPathIndex(1, 2);
    EXPECT_EQ(f.getData(1).iabPathIndex, 4u);
    EXPECT_EQ(f.getData(1).vmnPathIndex, BINX_Data::NO_PATH);
    EXPECT_EQ(f.getData(1).projectPathIndex, 2u);
}

TEST(BinxFileEdit, ProjectNamesAndFolder)
{
    BINX_File f;
    EXPECT_EQ(f.addFileNameProject("abc"), 0u);
    EXPECT_EQ(f.addFileNameProject("Abc"), 1u);
    EXPECT_EQ(f.addFileNameProject("abc"), 0u);
    EXPECT_EQ(f.getFileNamesProject(), (std::vector<std::string>{"abc", "Abc"}));

    f.setFolderPath("D:\\survey");
    f.setFolderPath("D:\\a");
    EXPECT_EQ(writtenAndRead(f).getFolderPath(), "D:\\a");
    f.setFolderPath(std::string(300, 'p'));
    EXPECT_EQ(f.getFolderPath(), std::string(300, 'p'));
    EXPECT_EQ(writtenAndRead(f).getFolderPath(), std::string(260, 'p'));
}

TEST(BinxFileEdit, MergeShiftsTheOtherFilesIndexes)
{
    BinxFileBuilder names;
    names.folder = "D:\\survey\\day1";
    names.recordings = {"a.iab", "a.vmn", "b.iab"};
    ByteFile named(names.build());
    BINX_File first(named.path());
    first.addData(numbered(0));

    BINX_File second = fileOf(2);
    second.setFolderPath("D:\\survey\\day2");
    second.addFileNameProject("p1");
    second.setIabPathIndex(0, 0);
    second.setVmnPathIndex(0, 1);
    second.setProjectPathIndex(1, 0);
    const BINX_Data* moved = second.getDatas()[0];

    first.addBinxFile(&second);
    EXPECT_EQ(numbers(first), (std::vector<int>{0, 0, 1}));
    EXPECT_EQ(first.getDatas()[1], moved);
    EXPECT_EQ(first.getData(1).iabPathIndex, 3u);
    EXPECT_EQ(first.getData(1).vmnPathIndex, 4u);
    EXPECT_EQ(first.getData(1).projectPathIndex, BINX_Data::NO_PATH);
    EXPECT_EQ(first.getData(2).iabPathIndex, BINX_Data::NO_PATH);
    EXPECT_EQ(first.getData(2).projectPathIndex, 0u); // the first file had no project names
    EXPECT_EQ(first.getFolderPath(), "D:\\survey");
    EXPECT_EQ(first.getFileNamesProject(), std::vector<std::string>{"p1"});
    EXPECT_EQ(first.getFileNamesIabOrVmn().size(), 3u); // the second file had none
    EXPECT_TRUE(second.getDatas().empty());
    EXPECT_TRUE(second.getResults().empty());

    // A file without names takes the records as they are.
    BINX_File bare = fileOf(1);
    BINX_File third = fileOf(1);
    third.setIabPathIndex(0, 5);
    third.addFileNameProject("x");
    bare.addBinxFile(&third);
    EXPECT_EQ(bare.getData(1).iabPathIndex, 5u);
    EXPECT_TRUE(bare.getFileNamesProject().empty());

    bare.addBinxFile(nullptr);
    bare.addBinxFile(&bare);
    EXPECT_EQ(numbers(bare), (std::vector<int>{0, 0}));
}

TEST(BinxFileEdit, MergedCopiesListEachNameOnceAndKeepTheirRecordsValues)
{
    BinxFileBuilder names;
    names.recordings = {"a.iab", "a.vmn", "b.iab"};
    ByteFile named(names.build());
    BINX_File merged(named.path());
    merged.addFileNameProject("p");
    std::vector<std::unique_ptr<BINX_File>> copies;
    for (int copy = 0; copy < 3; ++copy) {
        auto file = std::make_unique<BINX_File>(named.path());
        file->addFileNameProject("p");
        file->addData(numbered(copy));
        file->setIabPathIndex(0, 2);
        file->setVmnPathIndex(0, 1);
        file->setProjectPathIndex(0, 0);
        copies.push_back(std::move(file));
    }
    copies[2]->setIabPathIndex(0, 7); // past the list: names no file
    for (auto& copy : copies) merged.addBinxFile(copy.get());
    ASSERT_EQ(merged.getFileNamesIabOrVmn().size(), 12u) << "merging lists every file's names, as it always did";
    const std::vector<std::uint8_t> before = writtenBytes(merged);
    std::vector<std::string> named_before;
    for (const BINX_Data* d : merged.getDatas()) named_before.push_back(merged.getFileNamesIabOrVmn().at(d->vmnPathIndex));

    merged.mergeDuplicateFileNames();
    EXPECT_EQ(merged.getFileNamesIabOrVmn(), (std::vector<std::string>{"a.iab", "a.vmn", "b.iab"}));
    EXPECT_EQ(merged.getFileNamesProject(), std::vector<std::string>{"p"});
    EXPECT_EQ(numbers(merged), (std::vector<int>{0, 1, 2}));
    for (std::size_t i = 0; i < merged.getDatas().size(); ++i) {
        const BINX_Data& d = merged.getData(static_cast<unsigned int>(i));
        EXPECT_EQ(merged.getFileNamesIabOrVmn().at(d.vmnPathIndex), named_before[i]) << i;
        EXPECT_EQ(d.projectPathIndex, 0u) << i;
    }
    EXPECT_EQ(merged.getData(0).iabPathIndex, 2u);
    EXPECT_EQ(merged.getData(2).iabPathIndex, 7u + 9u) << "an index naming no file is left as the merge made it";
    // The records' values are untouched: the file written differs only by the names dropped.
    const std::vector<std::uint8_t> after = writtenBytes(merged);
    EXPECT_LT(after.size(), before.size());
}

// The records a move takes are RecordOwnershipTest's; here, the names and folder.
TEST(BinxFileEdit, MoveTakesTheNamesAndFolderAndLeavesTheSourceEmpty)
{
    BINX_File f = fileOf(3);
    f.setFolderPath("D:\\x");
    f.addFileNameProject("p");
    BINX_File assigned = fileOf(1);
    assigned = BINX_File(std::move(f));
    EXPECT_EQ(numbers(assigned), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(assigned.getFolderPath(), "D:\\x");
    EXPECT_EQ(assigned.getFileNamesProject(), std::vector<std::string>{"p"});
    EXPECT_TRUE(f.getResults().empty());
    EXPECT_TRUE(f.getFileNamesProject().empty());
    EXPECT_TRUE(f.getFolderPath().empty());
}
