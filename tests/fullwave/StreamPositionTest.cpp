// The reader takes its pages from a stream in large chunks, yet a caller's stream must be left
// as reading it page by page leaves it: where the walk stops, on an error, and at the end.

#include <fullwave/IAB_VMN_File.h>

#include <writers/FullWavePages.h>
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <streambuf>

using namespace ertkit_test;
using namespace ertkit_writers;

namespace {

constexpr std::size_t kPage = IAB_VMN_RawPage::s_size_in_bytes;
// More pages than two of the reader's chunks, so that stops and errors fall in later ones.
constexpr unsigned int kLongPages = 1100;

float sampleValue(std::uint32_t s, unsigned int c)
{
    return static_cast<float>(s) + 0.25f * static_cast<float>(c);
}

// A configuration page and `data_pages` full pages of 3-channel samples numbered from 0.
RecordingBuilder recording(unsigned int data_pages)
{
    RecordingBuilder builder;
    builder.start(ConfigFields{}, 0, std::uint64_t{32} * data_pages, sampleValue);
    return builder;
}

// A stream buffer that cannot seek, handing out its bytes in pieces that do not fall on page
// edges, as a pipe would.
class PipeBuffer : public std::streambuf {
public:
    explicit PipeBuffer(std::string bytes) : m_bytes(std::move(bytes)) {}
    std::size_t remaining() const { return m_bytes.size() - m_at + static_cast<std::size_t>(egptr() - gptr()); }

protected:
    int_type underflow() override
    {
        if (m_at == m_bytes.size()) return traits_type::eof();
        const std::size_t n = std::min(sizeof m_piece, m_bytes.size() - m_at);
        std::memcpy(m_piece, m_bytes.data() + m_at, n);
        m_at += n;
        setg(m_piece, m_piece, m_piece + n);
        return traits_type::to_int_type(m_piece[0]);
    }

private:
    std::string m_bytes;
    std::size_t m_at = 0;
    char m_piece[97];
};

// Asks to stop at its (n + 1)-th question: the walk has then read n + 1 pages.
using StopAfter = ProgressLog;

// What a reader kept, enough to tell two walks apart.
std::string kept(const IAB_VMN_File& file)
{
    std::string out;
    for (std::uint64_t s = 0; s < file.getNStarts(); ++s) {
        std::vector<double> values;
        file.fillData(s, 2, values);
        out += std::to_string(file.getNData(s)) + " pages, " + std::to_string(file.getNsample(s)) + " samples, last " +
               (values.empty() ? "-" : std::to_string(values.back())) + "; ";
    }
    return out;
}

// The next page the stream gives, as bytes ("" when none is whole).
std::string nextPage(std::istream& stream)
{
    std::string page(kPage, '\0');
    stream.read(page.data(), static_cast<std::streamsize>(kPage));
    return stream ? page : "";
}


} // namespace

TEST(StreamPosition, AStopLeavesTheStreamJustAfterTheLastPageRead)
{
    const std::string bytes = recording(kLongPages).str();
    const std::string prefix(100, 'p');
    // Stops in the search for the first header, in the first chunk, on both sides of its last
    // page, and in later chunks.
    for (int stop_after : {0, 1, 2, 495, 496, 497, 600, 992, 1000}) {
        SCOPED_TRACE("stop after " + std::to_string(stop_after));
        const std::size_t read = static_cast<std::size_t>(stop_after + 1) * kPage;
        std::string read_whole;
        for (const std::string& before : {std::string(), prefix}) {
            std::istringstream stream(before + bytes);
            stream.ignore(static_cast<std::streamsize>(before.size()));
            StopAfter progress(stop_after);
            const IAB_VMN_File file(stream, 1, 2, true, progress);
            EXPECT_EQ(file.getNStarts(), stop_after > 0 ? 1u : 0u);
            if (stop_after > 0) {
                EXPECT_EQ(file.getNData(0), static_cast<std::uint64_t>(stop_after - 1));
            }
            EXPECT_EQ(stream.rdstate(), std::ios::goodbit);
            EXPECT_EQ(stream.tellg(), static_cast<std::streamoff>(before.size() + read));
            EXPECT_EQ(stream.gcount(), static_cast<std::streamsize>(kPage)) << "the last page read counts whole";
            EXPECT_EQ(nextPage(stream), bytes.substr(read, kPage));
            read_whole = kept(file);
        }

        PipeBuffer pipe(bytes);
        std::istream piped(&pipe);
        StopAfter progress(stop_after);
        const IAB_VMN_File file(piped, 1, 2, true, progress);
        EXPECT_EQ(kept(file), read_whole);
        EXPECT_EQ(piped.rdstate(), std::ios::goodbit);
        EXPECT_EQ(pipe.remaining(), bytes.size() - read);
    }
}

TEST(StreamPosition, AnErrorLeavesTheStreamJustAfterTheFaultyPage)
{
    const struct {
        unsigned int page; // of the file, from 0
        bool header_first; // a configuration page just before it: the numbering must start again
        const char* message;
    } cases[] = {
        {10, false, "corrupted file : samples do not follow each others"},
        {700, false, "corrupted file : samples do not follow each others"},
        {700, true, "corrupted file : sample numbering does not start at 0 or 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        RecordingBuilder builder = recording(c.page - 1 - (c.header_first ? 1 : 0));
        if (c.header_first) builder.page(configPage(ConfigFields{}));
        builder.page(dataPage(5, 32, 3, sampleValue));
        builder.samples(1700000000, 3, 100000, 32 * 300, sampleValue);
        const std::string bytes = builder.str();
        const std::size_t read = std::size_t{c.page + 1} * kPage;

        std::istringstream stream(bytes);
        EXPECT_EQ(failure([&] { IAB_VMN_File(stream, 1, 2, false); }), c.message);
        EXPECT_EQ(stream.rdstate(), std::ios::goodbit);
        EXPECT_EQ(stream.tellg(), static_cast<std::streamoff>(read));
        EXPECT_EQ(nextPage(stream), bytes.substr(read, kPage));

        PipeBuffer pipe(bytes);
        std::istream piped(&pipe);
        EXPECT_EQ(failure([&] { IAB_VMN_File(piped, 1, 2, false); }), c.message);
        EXPECT_EQ(piped.rdstate(), std::ios::goodbit);
        EXPECT_EQ(pipe.remaining(), bytes.size() - read);
    }
}

TEST(StreamPosition, TheEndIsAShortReadThatUsesTheStreamUp)
{
    TempDir dir;
    for (unsigned int pages : {3u, kLongPages}) {
        for (std::size_t extra : {std::size_t{0}, std::size_t{100}, kPage - 1}) {
            SCOPED_TRACE(std::to_string(pages) + " pages and " + std::to_string(extra) + " bytes");
            const std::string bytes = recording(pages).bytes(extra).str();
            LogCapture log;
            std::istringstream stream(bytes);
            const IAB_VMN_File file(stream, 1, 2, true);
            EXPECT_EQ(file.getNData(0), pages);
            EXPECT_EQ(stream.gcount(), static_cast<std::streamsize>(extra)) << "the short read took the bytes past the last page";
            EXPECT_EQ(stream.rdstate(), std::ios::eofbit | std::ios::failbit);
            stream.clear();
            EXPECT_EQ(stream.tellg(), static_cast<std::streamoff>(bytes.size()));
            EXPECT_EQ(log.lines(VELTLogger::Level::Debug),
                      std::vector<std::string>{"page " + std::to_string(pages + 1) + " from file: \"1-2.vmn\" is not complete"});

            PipeBuffer pipe(bytes);
            std::istream piped(&pipe);
            const IAB_VMN_File from_pipe(piped, 1, 2, true);
            EXPECT_EQ(kept(from_pipe), kept(file));
            EXPECT_EQ(piped.rdstate(), std::ios::eofbit | std::ios::failbit);
            EXPECT_EQ(pipe.remaining(), 0u);

            // From a path, the log names it and the serials come from the name.
            const std::string path = dir.file("vp1-2@120523_143015.vmn");
            recording(pages).bytes(extra).save(path);
            LogCapture path_log;
            const IAB_VMN_File from_path(path);
            EXPECT_EQ(kept(from_path), kept(file));
            EXPECT_EQ(path_log.lines(VELTLogger::Level::Debug),
                      std::vector<std::string>{"page " + std::to_string(pages + 1) + " from file: \"" + path + "\" is not complete"});
            EXPECT_EQ(from_path.getSerialNumber(), 2);
            EXPECT_EQ(from_path.getUserSerialNumber(), 1);
            EXPECT_TRUE(from_path.get_is_vmn());
        }
    }

    // A stream that has already failed gives nothing and is not moved.
    std::istringstream failed(recording(3).str());
    failed.setstate(std::ios::failbit);
    EXPECT_EQ(failure([&] { IAB_VMN_File(failed, 1, 2, true); }), "cannot read file");
    failed.clear();
    EXPECT_EQ(failed.tellg(), 0);
}

TEST(StreamPosition, AStreamOfUnknownLengthGivesTheSameSamples)
{
    // Without a size to reserve from, the storage grows: here past the point where it leaves
    // the heap for memory of its own.
    ConfigFields f;
    f.n_channel = 15;
    RecordingBuilder builder;
    builder.start(f, 0, 8 * 2200, sampleValue);
    const std::string bytes = builder.str();
    std::istringstream stream(bytes);
    const IAB_VMN_File sized(stream, 1, 2, true);
    PipeBuffer pipe(bytes);
    std::istream piped(&pipe);
    const IAB_VMN_File grown(piped, 1, 2, true);
    ASSERT_EQ(sized.getNsample(0), 8u * 2200);
    ASSERT_EQ(grown.getNsample(0), sized.getNsample(0));
    std::vector<double> from_size(15 * sized.getNsample(0));
    std::vector<double> from_growth(from_size.size());
    sized.fillStart(0, from_size, {}, {});
    grown.fillStart(0, from_growth, {}, {});
    EXPECT_TRUE(from_growth == from_size);
    EXPECT_EQ(from_size.back(), sampleValue(8 * 2200 - 1, 14));
}

TEST(StreamPosition, FailbitExceptionsComeFromTheShortRead)
{
    for (unsigned int pages : {0u, 3u, kLongPages}) {
        SCOPED_TRACE(pages);
        const std::string bytes = pages ? recording(pages).bytes(100).str() : std::string();
        LogCapture quiet;
        std::istringstream stream(bytes);
        stream.exceptions(std::ios::failbit);
        EXPECT_THROW(IAB_VMN_File(stream, 1, 2, true), std::ios_base::failure);
        EXPECT_EQ(stream.rdstate(), std::ios::eofbit | std::ios::failbit);

        PipeBuffer pipe(bytes);
        std::istream piped(&pipe);
        piped.exceptions(std::ios::failbit);
        EXPECT_THROW(IAB_VMN_File(piped, 1, 2, true), std::ios_base::failure);
        EXPECT_EQ(pipe.remaining(), 0u);
    }
    // A walk stopped before the end reads no short page, so nothing is thrown.
    std::istringstream stream(recording(kLongPages).str());
    stream.exceptions(std::ios::failbit);
    StopAfter progress(600);
    const IAB_VMN_File file(stream, 1, 2, true, progress);
    EXPECT_EQ(file.getNData(0), 599u);
    EXPECT_EQ(stream.tellg(), static_cast<std::streamoff>(601 * kPage));
}

namespace {

struct DeviceFailed : std::runtime_error {
    DeviceFailed() : std::runtime_error("device failed") {}
};

// A seekable stream buffer whose device fails for good after `limit` bytes.
class FailingBuffer : public std::streambuf {
public:
    FailingBuffer(std::string bytes, std::size_t limit) : m_bytes(std::move(bytes)), m_limit(std::min(limit, m_bytes.size()))
    {
        setg(m_bytes.data(), m_bytes.data(), m_bytes.data() + m_limit);
    }

protected:
    int_type underflow() override
    {
        if (m_limit == m_bytes.size()) return traits_type::eof();
        throw DeviceFailed();
    }
    pos_type seekoff(off_type off, std::ios::seekdir dir, std::ios::openmode which) override
    {
        const off_type base = dir == std::ios::beg ? 0 : dir == std::ios::cur ? gptr() - eback() : static_cast<off_type>(m_bytes.size());
        return seekpos(base + off, which);
    }
    pos_type seekpos(pos_type pos, std::ios::openmode) override
    {
        if (pos < 0 || pos > static_cast<off_type>(m_limit)) return pos_type(off_type(-1));
        setg(m_bytes.data(), m_bytes.data() + static_cast<off_type>(pos), m_bytes.data() + m_limit);
        return pos;
    }

private:
    std::string m_bytes;
    std::size_t m_limit;
};

} // namespace

TEST(StreamPosition, AFailingDeviceEndsTheWalkAsAPlainReadWould)
{
    const std::string bytes = recording(kLongPages).str();
    // The device fails inside the first page, a later page of the first chunk, and the second
    // chunk: the pages read whole before it still count.
    for (std::size_t limit : {std::size_t{10}, 10 * kPage + 100, 700 * kPage + 3}) {
        for (bool rethrow : {false, true}) {
            SCOPED_TRACE(std::to_string(limit) + (rethrow ? " with badbit exceptions" : ""));
            LogCapture log;
            FailingBuffer buffer(bytes, limit);
            std::istream stream(&buffer);
            if (rethrow) stream.exceptions(std::ios::badbit);
            const std::size_t whole = limit / kPage;
            std::string outcome;
            try {
                const IAB_VMN_File file(stream, 1, 2, true);
                outcome = std::to_string(file.getNData(0)) + " pages";
            } catch (const DeviceFailed&) {
                outcome = "the device's own exception";
            } catch (const std::exception& e) {
                outcome = e.what();
            }
            // A plain read whose buffer throws sets badbit alone, and passes the buffer's
            // exception on when badbit exceptions are asked for.
            EXPECT_EQ(stream.rdstate(), std::ios::badbit);
            if (rethrow)
                EXPECT_EQ(outcome, "the device's own exception");
            else if (whole == 0)
                EXPECT_EQ(outcome, "cannot read file");
            else {
                EXPECT_EQ(outcome, std::to_string(whole - 1) + " pages");
                EXPECT_EQ(log.lines(VELTLogger::Level::Debug),
                          std::vector<std::string>{"page " + std::to_string(whole) + " from file: \"1-2.vmn\" is not complete"});
            }
        }
    }
}
