// Records read from a file share large blocks of memory, yet each one must still be a
// separate object to its owners: taken out, kept after its file is gone, deleted with
// `delete` in any order and on any thread, mixed with records the caller made with `new`.
// A block freed too early shows as a crash (and as a sanitizer report); one never freed
// shows in the count of mapped blocks, which every test expects back where it started.

#include "BinxTestHelpers.h"

#include <binx/BINX_File.h>
#include <binx/RecordSlabs.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

using binx_test::ByteFile;
using ertkit_test::BinxFileBuilder;
using ertkit_test::addRecord;
using ertkit_test::sampleBinxRecord;

namespace {

BINX_Data numbered(int n)
{
    BINX_Data d = sampleBinxRecord(n % 97);
    d.quadripoleMeasured = n;
    d.stackData[BINX_Data::N_STACK_SAMPLES - 1] = static_cast<float>(n);
    return d;
}

// Records n, n+1, ... written to disk and read back.
std::unique_ptr<BINX_File> readFile(int first, int count)
{
    BinxFileBuilder b;
    for (int i = first; i < first + count; ++i) addRecord(b, numbered(i));
    ByteFile file(b.build());
    return std::make_unique<BINX_File>(file.path());
}

// Whether a record still holds what record n was written with: the fields at both ends of
// the object and those that own heap memory of their own.
bool holds(const BINX_Data& d, int n)
{
    const BINX_Data expected = numbered(n);
    return d.quadripoleMeasured == n && d.resultId == expected.resultId && d.stackData == expected.stackData &&
           d.keyText1 == expected.keyText1 && d.origFile == expected.origFile && d.curves == expected.curves &&
           d.associatedResultIds == expected.associatedResultIds && d.quadrupole == expected.quadrupole &&
           d.grid == expected.grid && d.m_isGlobalGrid == expected.m_isGlobalGrid;
}

std::vector<int> numbers(const BINX_File& f)
{
    std::vector<int> out;
    for (const BINX_Data* d : f.getDatas()) out.push_back(holds(*d, d->quadripoleMeasured) ? d->quadripoleMeasured : -1);
    return out;
}

// Takes the records at `indexes` (highest first) out of the file, lets the file go, and
// checks that each still holds what record `expected` was written with before deleting it.
void expectTakenOutliveTheFile(std::unique_ptr<BINX_File> file, const std::vector<std::pair<unsigned int, int>>& taken)
{
    std::vector<std::pair<BINX_Data*, int>> records;
    for (const auto& [index, expected] : taken) {
        records.emplace_back(file->getDatas()[index], expected);
        file->removeData(index);
    }
    file.reset();
    for (const auto& [record, expected] : records) {
        EXPECT_TRUE(holds(*record, expected)) << expected;
        delete record;
    }
}

class BinxRecordOwnership : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(slabsMapped(), 0u); }
    std::size_t slabsMapped() const { return binx_detail::mappedSlabs() - m_slabs_before; }

private:
    std::size_t m_slabs_before = binx_detail::mappedSlabs();
};

} // namespace

TEST_F(BinxRecordOwnership, TakenRecordsOutliveTheirFileInAnyOrder)
{
    // `taken` leave the file through removeData; then each step deletes the file ('F') or
    // the taken record of that number. The file deletes whatever it still holds.
    struct Case {
        const char* what;
        std::vector<int> taken;
        std::string steps;
    };
    const Case cases[] = {
        {"all taken, file first", {0, 1, 2, 3, 4, 5}, "F012345"},
        {"all taken, file last", {0, 1, 2, 3, 4, 5}, "543210F"},
        {"all taken, file halfway", {0, 1, 2, 3, 4, 5}, "250F314"},
        {"one kept after the file", {3}, "F3"},
        {"first and last kept", {0, 5}, "F50"},
        {"two deleted before the file", {1, 4}, "41F"},
        {"none taken", {}, "F"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<BINX_File> file = readFile(0, 6);
        ASSERT_EQ(numbers(*file), (std::vector<int>{0, 1, 2, 3, 4, 5}));
        std::vector<BINX_Data*> taken(6, nullptr);
        for (auto n = c.taken.rbegin(); n != c.taken.rend(); ++n) {
            taken[static_cast<std::size_t>(*n)] = file->getDatas()[static_cast<std::size_t>(*n)];
            file->removeData(static_cast<unsigned int>(*n));
        }
        for (const char step : c.steps) {
            if (step == 'F') {
                file.reset();
                continue;
            }
            BINX_Data*& record = taken[static_cast<std::size_t>(step - '0')];
            EXPECT_TRUE(holds(*record, step - '0')) << step;
            delete record;
            record = nullptr;
        }
    }
}

TEST_F(BinxRecordOwnership, CallerMadeRecordsMixWithReadOnes)
{
    std::unique_ptr<BINX_File> file = readFile(0, 4);
    const std::vector<BINX_Data*> read = file->getDatas();
    auto* const added = new BINX_Data(numbered(10));
    auto* const replacing = new BINX_Data(numbered(11));
    auto* const same_keys = new BINX_Data(numbered(2)); // same keys and times as record 2
    file->addData(added);
    file->replaceData(1, replacing);
    file->replaceData(same_keys);
    file->removeData(0);
    ASSERT_EQ(file->getDatas(), (std::vector<BINX_Data*>{replacing, same_keys, read[3], added}));

    // The file deletes the record it read and still holds, and the three the caller made;
    // the caller deletes the three read records that left the file.
    file.reset();
    for (const int n : {0, 1, 2}) {
        EXPECT_TRUE(holds(*read[static_cast<std::size_t>(n)], n));
        delete read[static_cast<std::size_t>(n)];
    }
}

TEST_F(BinxRecordOwnership, MergedAndMovedFilesKeepTheirRecords)
{
    std::unique_ptr<BINX_File> first = readFile(0, 3);
    std::unique_ptr<BINX_File> second = readFile(10, 3);
    first->addBinxFile(second.get());
    second.reset(); // the merged records are the first file's now
    ASSERT_EQ(numbers(*first), (std::vector<int>{0, 1, 2, 10, 11, 12}));

    BINX_File moved(std::move(*first));
    first.reset();
    BINX_File assigned;
    assigned.addData(new BINX_Data(numbered(20)));
    assigned = std::move(moved);
    EXPECT_TRUE(moved.getDatas().empty());
    ASSERT_EQ(numbers(assigned), (std::vector<int>{0, 1, 2, 10, 11, 12}));

    expectTakenOutliveTheFile(std::make_unique<BINX_File>(std::move(assigned)), {{4, 11}});
}

TEST_F(BinxRecordOwnership, RecordsDeletedOnOtherThreads)
{
    constexpr int n = 400;
    constexpr int threads = 4;
    std::unique_ptr<BINX_File> file = readFile(0, n);
    std::vector<BINX_Data*> records = file->getDatas();
    ASSERT_EQ(records.size(), static_cast<std::size_t>(n));
    for (int i = n; i-- > 0;) file->removeData(static_cast<unsigned int>(i));
    // Half are deleted while the file still lives, on a thread each, the rest after it.
    std::atomic<int> spoiled{0};
    auto deleteEvery = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            const std::size_t at = static_cast<std::size_t>(i);
            if (!holds(*records[at], i)) ++spoiled;
            delete records[at];
        }
    };
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t) running.emplace_back(deleteEvery, t * n / (2 * threads), (t + 1) * n / (2 * threads));
    file.reset();
    for (std::thread& t : running) t.join();
    running.clear();
    for (int t = 0; t < threads; ++t)
        running.emplace_back(deleteEvery, n / 2 + t * n / (2 * threads), n / 2 + (t + 1) * n / (2 * threads));
    for (std::thread& t : running) t.join();
    EXPECT_EQ(spoiled.load(), 0);
}

TEST_F(BinxRecordOwnership, FileLargerThanOneSlab)
{
    // Large enough that the records fill one whole slab and part of a second.
    const int n = static_cast<int>(binx_detail::RecordSlabs::s_default_slab_bytes / sizeof(BINX_Data)) + 100;
    std::unique_ptr<BINX_File> file = readFile(0, n);
    ASSERT_EQ(file->getDatas().size(), static_cast<std::size_t>(n));
    int spoiled = 0;
    for (int i = 0; i < n; ++i) spoiled += holds(file->getData(static_cast<unsigned int>(i)), i) ? 0 : 1;
    EXPECT_EQ(spoiled, 0);
    // One record of each slab outlives the file.
    expectTakenOutliveTheFile(std::move(file), {{static_cast<unsigned int>(n - 1), n - 1}, {0, 0}});
}

TEST_F(BinxRecordOwnership, DamagedFileKeepsNoRoomForTheFailedRecord)
{
    BinxFileBuilder b;
    for (int i = 0; i < 3; ++i) addRecord(b, numbered(i));
    ertkit_test::Bytes bad = ertkit_test::binxRecordBytes(numbered(3), 16);
    bad.data().resize(bad.size() / 2); // the last record stops in the middle
    b.records.push_back(bad);
    ByteFile bytes(b.build());
    auto file = std::make_unique<BINX_File>(bytes.path());
    ASSERT_EQ(numbers(*file), (std::vector<int>{0, 1, 2}));
    expectTakenOutliveTheFile(std::move(file), {{1, 1}});
}

TEST_F(BinxRecordOwnership, SlabsOfAFewRecords)
{
    // Slabs of one, two and three records, seven records asked for and one more placed
    // beyond them (that one goes to the heap), deleted in three orders, before and after
    // the slabs are let go.
    const std::vector<std::vector<int>> orders = {{0, 1, 2, 3, 4, 5, 6, 7}, {7, 6, 5, 4, 3, 2, 1, 0}, {3, 0, 7, 5, 1, 6, 2, 4}};
    for (const std::size_t per_slab : {1, 2, 3}) {
        for (const auto& order : orders) {
            for (const bool slabs_first : {true, false}) {
                SCOPED_TRACE(std::to_string(per_slab) + " per slab, slabs let go " + (slabs_first ? "first" : "last"));
                std::vector<BINX_Data*> records;
                auto slabs = std::make_unique<binx_detail::RecordSlabs>(sizeof(BINX_Data), 7,
                                                                        per_slab * (sizeof(BINX_Data) + 64));
                for (int i = 0; i < 8; ++i) records.push_back(new (*slabs) BINX_Data(numbered(i)));
                // Records that overlapped would spoil each other's ends, which holds() reads.
                for (const BINX_Data* d : records) EXPECT_EQ(reinterpret_cast<std::uintptr_t>(d) % alignof(std::max_align_t), 0u);
                if (slabs_first) slabs.reset();
                for (const int i : order) {
                    EXPECT_TRUE(holds(*records[static_cast<std::size_t>(i)], i)) << i;
                    delete records[static_cast<std::size_t>(i)];
                }
                // Only the slab still being filled is left, and only while it is.
                EXPECT_EQ(slabsMapped(), slabs_first ? 0u : 1u);
                slabs.reset();
                EXPECT_EQ(slabsMapped(), 0u);
            }
        }
    }
}

TEST_F(BinxRecordOwnership, ThrowingConstructorGivesItsRoomBack)
{
    // A record version, then one byte of the first field.
    binx_test::ByteFile cut(std::vector<std::uint8_t>{0x10, 0x00, 0x00, 0x00, 0x01});
    BINX_Data* kept = nullptr;
    {
        binx_detail::RecordSlabs slabs(sizeof(BINX_Data), 2);
        kept = new (slabs) BINX_Data(numbered(5));
        EXPECT_THROW(new (slabs) BINX_Data(cut.in(), {}), std::runtime_error);
    }
    EXPECT_TRUE(holds(*kept, 5));
    delete kept;
}

TEST_F(BinxRecordOwnership, NothrowAndPlacementFormsStillWork)
{
    std::unique_ptr<BINX_Data> nothrow(new (std::nothrow) BINX_Data(numbered(6)));
    ASSERT_NE(nothrow, nullptr);
    EXPECT_TRUE(holds(*nothrow, 6));
    alignas(BINX_Data) unsigned char storage[sizeof(BINX_Data)];
    BINX_Data* const placed = new (storage) BINX_Data(numbered(7));
    EXPECT_TRUE(holds(*placed, 7));
    placed->~BINX_Data();
}

#if defined(__SANITIZE_ADDRESS__)
TEST_F(BinxRecordOwnership, UseOfADeletedRecordIsReported)
{
    std::unique_ptr<BINX_File> file = readFile(0, 2); // keeps the slab mapped
    BINX_Data* const taken = file->getDatas()[0];
    file->removeData(0);
    delete taken;
    EXPECT_DEATH({ [[maybe_unused]] volatile int n = taken->quadripoleMeasured; }, "use-after-poison");
}
#endif
