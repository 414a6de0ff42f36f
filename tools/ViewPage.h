#pragma once

#include <string>
#include <string_view>

namespace ertkit_cli {

// A file of tools/view as compiled into the tool (cmake/EmbedFiles.cmake), by its name;
// empty for a name that is not one of them.
std::string_view embeddedFile(std::string_view name);

// The viewer's page: index.html with its style sheet and script put in place, one document
// that needs nothing else.
std::string viewPage();

} // namespace ertkit_cli
