#include <writers/BinFileWriter.h>

#include <algorithm>

namespace ertkit_writers {

namespace {

template <std::size_t N>
void floats(Bytes& out, const std::array<float, N>& values)
{
    for (float v : values) out.f32(v);
}

// A fixed-size, zero-padded byte field; longer text is cut.
void padded(Bytes& out, const std::string& text, std::size_t size)
{
    const std::size_t used = std::min(text.size(), size);
    out.raw(text.data(), used).zeros(size - used);
}

} // namespace

Bytes BinFileWriter::record(const BinRecordFields& f)
{
    Bytes out;
    out.i16(f.disposition_code).i16(f.version).f32(f.pulse_duration_ms).f32(f.delay_ms).i16(f.unused_12).i16(f.ignore);
    floats(out, f.x);
    floats(out, f.y);
    floats(out, f.z);
    out.f32(f.spontaneous_potential).f32(f.polarization_voltage).f32(f.injected_current).f32(f.unused_76);
    out.f32(f.m).f32(f.unused_84);
    floats(out, f.tm);
    floats(out, f.window_m);
    out.u8(f.channel_byte).u8(f.flags).i16(f.unused_250).raw(f.orig_file.data(), f.orig_file.size());
    out.f32(f.gps_x).f32(f.gps_y).f32(f.stack_stored).f32(f.rs_check).f32(f.vab);
    out.f32(f.tx_bat).f32(f.rx_bat).f32(f.temperature).f64(f.start_time).i16(f.i_index).i16(f.v_index);
    return out;
}

Bytes BinFileWriter::header(const BinFileContents& contents)
{
    Bytes out;
    out.u32(contents.version).u8(contents.header_byte);
    padded(out, contents.header_text, 1024);
    padded(out, contents.folder, 260);
    out.u16(static_cast<std::uint16_t>(contents.names.size()));
    for (const std::string& name : contents.names) {
        out.u16(static_cast<std::uint16_t>(name.size() + 1)).text(name).u8(0);
    }
    return out;
}

Bytes BinFileWriter::file(const BinFileContents& contents)
{
    Bytes out = header(contents);
    for (const BinRecordFields& fields : contents.records) out.append(record(fields));
    return out;
}

void BinFileWriter::write(const std::string& path, const BinFileContents& contents)
{
    file(contents).save(path);
}

} // namespace ertkit_writers
