#pragma once

#include <string>

// One copy of a batch, or one pair of a check: paths relative to the working directory.
struct FilePair {
    std::string source;
    std::string target;
};
