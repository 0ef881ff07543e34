// Which registry the jump opens in the editor: the Wine prefix the driver watches, if any.
#pragma once

#include <QString>

#include <functional>

// The Wine prefix of the driver's event source, from the environment the driver reads:
// HIVEWATCH_DRIVER_SOURCE=wine watches $WINEPREFIX (or ~/.wine), wine:PREFIX names one (a
// leading ~/ is the home folder). Empty for every other source: the editor then shows the
// substitute driver's own registry files.
QString RegeditPrefixForDriver(const std::function<QString(const char*)>& getVar);
// The same from this process's environment.
QString RegeditPrefixForDriver();
