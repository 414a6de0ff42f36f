#pragma once

#include <string>

// Names of the host's default signal processors, reported by records that store none.
class BTFrontDetector {
public:
    inline static const std::string s_type_name = "BTFrontDetector";
};

class AlternatingFilter {
public:
    inline static const std::string s_type_name = "AlternatingFilter";
};
