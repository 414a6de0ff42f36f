#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ertkit {

enum class FileKind { Recording, Results };

// The formats ertkit reads. The raw recording forms (.irw, .vrw) are the formats of the
// recordings they are raw forms of: the full-wave reader reads them alike.
enum class FileFormat { Iab, Vmn, Binx, Bin };

FileKind kindOf(FileFormat format);

// The format an extension names, with or without its dot, in any case ("vmn", ".BINX", "Irw");
// none for any other.
std::optional<FileFormat> formatOfExtension(const std::string& extension);
// The format of a path by how its name ends, whatever the case; none when no reader takes it.
std::optional<FileFormat> formatOfName(const std::string& path);
// What a path holds, by formatOfName.
std::optional<FileKind> fileKind(const std::string& path);

// The extensions, dots included, in the order messages list them: ".iab, .vmn, .irw, .vrw,
// .binx or .bin" (`dots` false leaves the dots out).
std::string extensionChoices(bool dots);

// Each registered reader of a kind, with every extension it reads: those it registered, plus
// the raw recording forms, which the registries do not announce.
struct ReaderExtensions {
    std::string type_name;
    std::vector<std::string> extensions;
};
std::vector<ReaderExtensions> readers(FileKind kind);

} // namespace ertkit
