#include "Output.h"

#include "Context.h"

#include <iostream>
#include <stdexcept>

namespace ertkit_cli {

bool checkOutput(Context& context, const std::string& output, const std::vector<std::string>& inputs)
{
    if (output.empty() || output == "-") return true;
    return context.forFile(output, [&] {
        ertkit::refuseInputAsOutput(output, inputs);
        ertkit::checkWritable(output);
    });
}

bool checkOutputs(Context& context, const std::vector<std::string>& outputs, const std::vector<std::string>& inputs)
{
    ertkit::OutputGroup seen; // nothing is written: only the names are compared
    for (const std::string& output : outputs) {
        if (output.empty() || output == "-") continue;
        if (!checkOutput(context, output, inputs)) return false;
        if (!context.forFile(output, [&] { seen.add(output); })) return false;
    }
    return true;
}

Output::Output(const std::string& path)
{
    if (!path.empty() && path != "-") m_file = std::make_unique<ertkit::AtomicOutput>(path);
}

std::ostream& Output::stream()
{
    return m_file ? static_cast<std::ostream&>(m_file->stream()) : std::cout;
}

void Output::commit()
{
    if (m_file) {
        m_file->commit();
        return;
    }
    std::cout.flush();
    if (!std::cout) throw std::runtime_error("cannot write standard output");
}

} // namespace ertkit_cli

namespace ertkit_cli {

std::ostream& OutputSet::add(const std::string& path)
{
    if (!path.empty() && path != "-") return file(path);
    m_to_standard = true;
    return m_standard;
}

std::ostream& OutputSet::file(const std::string& path)
{
    return m_files.add(path).stream();
}

void OutputSet::commit()
{
    m_files.commit([this] {
        if (!m_to_standard) return;
        std::cout << m_standard.str();
        std::cout.flush();
        if (!std::cout) throw std::runtime_error("cannot write standard output");
    });
}

} // namespace ertkit_cli
