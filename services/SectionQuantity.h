#pragma once

#include <string>
#include <vector>

namespace ertkit {

// The quantities a pseudo-section colours its readings by.
struct SectionQuantity {
    const char* key;    // as the command line names it
    const char* column; // in resultColumns
    const char* symbol;
    const char* unit;
    bool log; // a log scale when every value is positive

    std::string title() const; // "ρa (Ω·m)"
};

const std::vector<SectionQuantity>& sectionQuantities();
// By key or column name; std::invalid_argument for another.
const SectionQuantity& sectionQuantity(const std::string& name);

} // namespace ertkit
