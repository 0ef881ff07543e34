// The application object of the window benchmarks, and what must go before it does.
#pragma once

#include <functional>

// Widgets a benchmark keeps between its runs (in statics) must be destroyed while the
// application object still exists: fnRelease runs after the last benchmark, before it goes.
void ReleaseBeforeAppExit(std::function<void()> fnRelease);
