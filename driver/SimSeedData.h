// The keys and values the simulated registry starts with, as CSimRegistry::LoadText text.
#pragma once

#include <string>

std::string SimSeedText();
