# Run by the build (cmake -P): writes OUTPUT, a C++ source defining embeddedFile(name), which
# gives the bytes of each of FILES by its file name. The viewer's page is served from the
# executable itself, so that nothing is read from disk or fetched from the network at run time.
#   FILES  the files (a ;-list)      OUTPUT  the source to write      NAMESPACE  its namespace
cmake_minimum_required(VERSION 3.25)

set(body "")
set(table "")
set(n 0)
foreach(path IN LISTS FILES)
  get_filename_component(name ${path} NAME)
  file(READ ${path} hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  string(APPEND body "const char file${n}[] = {${bytes} 0};\n")
  string(APPEND table "    {\"${name}\", std::string_view(file${n}, ${size})},\n")
  math(EXPR n "${n} + 1")
endforeach()

file(WRITE ${OUTPUT}.new "// Written by cmake/EmbedFiles.cmake from the build's inputs; not to be edited.
#include <string_view>
#include <utility>

namespace ${NAMESPACE} {

namespace {
${body}
const std::pair<std::string_view, std::string_view> s_files[] = {
${table}};
} // namespace

std::string_view embeddedFile(std::string_view name)
{
    for (const auto& [file, bytes] : s_files)
        if (file == name) return bytes;
    return {};
}

} // namespace ${NAMESPACE}
")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
