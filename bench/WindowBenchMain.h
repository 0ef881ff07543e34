// The application object of the window benchmarks, and what must go before it does.
#pragma once

#include <functional>
#include <memory>

class CBaseHivewatchDlg;
class CHivewatchDoc;

// Widgets a benchmark keeps between its runs (in statics) must be destroyed while the
// application object still exists: fnRelease runs after the last benchmark, before it goes.
void ReleaseBeforeAppExit(std::function<void()> fnRelease);

// The event list of doc, shown at 1200 x 800 with its rows counted and painted once.
std::unique_ptr<CBaseHivewatchDlg> ShowBenchList(CHivewatchDoc& doc);
