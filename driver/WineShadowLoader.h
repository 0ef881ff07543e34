// Fills the shadow registry from a Wine prefix's registry files (system.reg, user.reg,
// userdef.reg), read with the shared Wine registry reader.
#pragma once

#include "driver/WineShadowRegistry.h"

#include <string>
#include <vector>

// strUserSid gets the SID user.reg names. Files that are missing or damaged add nothing and
// each add a message to arErrors; false when any did.
bool LoadWineShadow(const std::string& strPrefix, CWineShadowRegistry& shadow,
                    std::string& strUserSid, std::vector<std::string>& arErrors);
