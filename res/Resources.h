// Registers the program's compiled-in images and user guide (once; later calls do nothing).
#pragma once

void InitHivewatchResources();
