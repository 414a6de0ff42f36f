#include <services/FileFormats.h>

#include <bin/BIN_File.h>
#include <binx/BINX_File.h>
#include <fullwave/IAB_VMN_File.h>
#include <host/Registry.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace ertkit {

namespace {

// The one table of extensions: a new one is added here, for the tool and Python alike.
struct Extension {
    std::string_view name;
    FileFormat format;
};
constexpr std::array<Extension, 6> kExtensions{{
    {".iab", FileFormat::Iab},
    {".vmn", FileFormat::Vmn},
    {".irw", FileFormat::Iab},
    {".vrw", FileFormat::Vmn},
    {".binx", FileFormat::Binx},
    {".bin", FileFormat::Bin},
}};

const std::string& readerOf(FileFormat format)
{
    switch (format) {
    case FileFormat::Iab:
    case FileFormat::Vmn: return IAB_VMN_File::s_type_name;
    case FileFormat::Binx: return BINX_File::s_type_name;
    case FileFormat::Bin: break;
    }
    return BIN_File::s_type_name;
}

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool endsWith(const std::string& text, std::string_view end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

} // namespace

FileKind kindOf(FileFormat format)
{
    return format == FileFormat::Binx || format == FileFormat::Bin ? FileKind::Results : FileKind::Recording;
}

std::optional<FileFormat> formatOfExtension(const std::string& extension)
{
    std::string name = lowerCase(extension);
    if (name.empty() || name.front() != '.') name.insert(name.begin(), '.');
    for (const Extension& e : kExtensions)
        if (e.name == name) return e.format;
    return std::nullopt;
}

std::optional<FileFormat> formatOfName(const std::string& path)
{
    const std::string lower = lowerCase(path);
    for (const Extension& e : kExtensions)
        if (endsWith(lower, e.name)) return e.format;
    return std::nullopt;
}

std::optional<FileKind> fileKind(const std::string& path)
{
    const auto format = formatOfName(path);
    return format ? std::optional<FileKind>(kindOf(*format)) : std::nullopt;
}

std::string extensionChoices(bool dots)
{
    std::string text;
    for (std::size_t i = 0; i < kExtensions.size(); ++i) {
        if (i > 0) text += i + 1 == kExtensions.size() ? " or " : ", ";
        text += kExtensions[i].name.substr(dots ? 0 : 1);
    }
    return text;
}

std::vector<ReaderExtensions> readers(FileKind kind)
{
    const auto registered = kind == FileKind::Recording ? host::registry().fileReaders() : host::registry().resultReaders();
    std::vector<ReaderExtensions> out;
    for (const host::Registration& registration : registered) {
        ReaderExtensions reader{registration.type_name, registration.extensions};
        for (const Extension& e : kExtensions) {
            const std::string name(e.name);
            if (readerOf(e.format) == reader.type_name &&
                std::find(reader.extensions.begin(), reader.extensions.end(), name) == reader.extensions.end())
                reader.extensions.push_back(name);
        }
        out.push_back(std::move(reader));
    }
    return out;
}

} // namespace ertkit
