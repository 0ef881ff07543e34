// hivewatch-capture: runs the capture engine without a window and writes the results.
#pragma once

#include "tools/capture/CaptureToolOptions.h"

#include <cstdio>

// Runs a capture or a conversion; messages go to the two streams. Returns the exit code:
// 0 done, 1 something failed (the message says what).
int RunCaptureTool(const SCaptureToolOptions& opts, FILE* pOut, FILE* pErr);
