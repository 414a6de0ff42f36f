// The reprocessed file both front ends write: the input's records as BINX, in its folder, with
// the new values in the records that were reprocessed and the stored ones elsewhere.
#include <services/reprocess/ReprocessedFile.h>

#include "support/TestSupport.h"

#include <bin/BIN_File.h>
#include <binx/BINX_File.h>
#include <writers/BinFileWriter.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

using namespace ertkit;

namespace {

std::vector<Reprocessed> firstReprocessed()
{
    std::vector<Reprocessed> values(2);
    values[0].ok = true;
    values[0].vp = 123.5;
    values[0].current = 45.25;
    values[0].halves_used = 6;
    values[1].failure = "no voltage start";
    values[1].vp = 999.0; // not ok: never written
    return values;
}

void expectValues(const BINX_File& file, double stored_vp)
{
    ASSERT_EQ(file.getDatas().size(), 2u);
    EXPECT_EQ(file.getDatas()[0]->polarizationVoltage, 123.5);
    EXPECT_EQ(file.getDatas()[0]->injectedCurrent, 45.25);
    EXPECT_EQ(file.getDatas()[0]->nStack, 6u);
    EXPECT_EQ(file.getDatas()[1]->polarizationVoltage, stored_vp);
}

TEST(ReprocessedFile, ALegacyFileGivesBinxRecordsInItsOwnFolderWhoeverKeepsIt)
{
    ertkit_test::TempDir dir;
    ertkit_writers::BinFileContents contents;
    contents.folder = "E:\\field\\line7";
    ertkit_writers::BinRecordFields record;
    record.start_time = 45265.6043402778;
    contents.records = {record, record};
    ertkit_writers::BinFileWriter::write(dir.file("line.bin"), contents);

    // The tool hands its file over; Python keeps its own, which must not change.
    const BIN_File kept(dir.file("line.bin"));
    const double stored_vp = kept.getResults()[1]->getPolarizationVoltage(true);
    const std::unique_ptr<BINX_File> from_kept = reprocessedFile(kept, firstReprocessed());
    const std::unique_ptr<BINX_File> from_owned = reprocessedFile(std::make_unique<BIN_File>(dir.file("line.bin")), firstReprocessed());
    for (const BINX_File* file : {from_kept.get(), from_owned.get()}) {
        EXPECT_EQ(file->getFolderPath(), "E:\\field\\line7");
        expectValues(*file, stored_vp);
    }
    EXPECT_EQ(kept.getResults()[0]->getPolarizationVoltage(true), stored_vp);
}

TEST(ReprocessedFile, ABinxFileIsEditedWholeAndValuesMustMatchItsRecords)
{
    auto binx = std::make_unique<BINX_File>();
    binx->setFolderPath("D:\\survey\\line1");
    for (int i = 0; i < 2; ++i) {
        auto* record = new BINX_Data();
        record->polarizationVoltage = 10.0;
        binx->addData(record);
    }
    const BINX_File* const input = binx.get();
    const std::unique_ptr<BINX_File> file = reprocessedFile(std::move(binx), firstReprocessed());
    EXPECT_EQ(file.get(), input) << "a BINX input is edited, not copied";
    EXPECT_EQ(file->getFolderPath(), "D:\\survey\\line1");
    expectValues(*file, 10.0);

    EXPECT_THROW(reprocessedFile(std::make_unique<BINX_File>(), firstReprocessed()), std::logic_error);
}

} // namespace
