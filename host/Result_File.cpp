#include <host/Result_File.h>

#include <host/Registry.h>

Result_File::~Result_File() = default;

std::uint64_t Result_File::registerResultReader(std::string type_name, std::vector<std::string> extensions, Factory factory)
{
    return host::registry().addResultReader(std::move(type_name), std::move(extensions), factory);
}
