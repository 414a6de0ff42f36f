#include <writers/BinxFileBuilder.h>

#include <algorithm>

namespace ertkit_writers {

Bytes BinxFileBuilder::build() const
{
    Bytes b;
    b.u32(version).u8(header_byte);
    if (version >= 6) b.u8(software).i16(software_version[0]).i16(software_version[1]).i16(software_version[2]);
    auto fixed = [&b](const std::string& text, std::uint32_t length) {
        b.u32(length);
        const std::size_t n = std::min<std::size_t>(text.size(), length);
        b.text(text.substr(0, n)).zeros(length - n);
    };
    fixed(header_text, header_text_length);
    fixed(folder, folder_length);
    b.u32(recording_count.value_or(static_cast<std::uint32_t>(recordings.size())));
    for (const auto& name : recordings) b.u32(static_cast<std::uint32_t>(name.size())).text(name);
    b.u32(project_count.value_or(static_cast<std::uint32_t>(projects.size())));
    for (const auto& name : projects) b.u32(static_cast<std::uint32_t>(name.size() + 1)).text(name).u8(0);
    b.u32(record_count.value_or(static_cast<std::uint32_t>(records.size())));
    for (const auto& record : records) b.append(record);
    return b;
}

} // namespace ertkit_writers
