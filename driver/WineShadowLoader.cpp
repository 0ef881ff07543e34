#include "driver/WineShadowLoader.h"

// The prefix's files are read with the shared Wine registry reader (winereg/), which is not
// part of this branch yet: until it is merged, the shadow starts empty and learns the values
// the trace shows (queries, enumerations, sets), and nothing is read from the files.
bool LoadWineShadow(const std::string& /*strPrefix*/, CWineShadowRegistry& /*shadow*/,
                    std::string& /*strUserSid*/, std::vector<std::string>& arErrors) {
    arErrors.emplace_back("the prefix's registry files are not read yet");
    return false;
}
