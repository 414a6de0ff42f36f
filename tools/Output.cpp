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
