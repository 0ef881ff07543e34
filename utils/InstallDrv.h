// Loads and unloads the driver as a named service and opens its control channel.
#pragma once

#include "platform/DeviceIo.h"

#include <QString>

class CInstallDrv {
public:
    // Loads the driver file, opens an instance registered under the service name (replacing
    // one already registered there) and puts a control handle into *phDevice.
    // Returns 1 on success, 0 on failure (*phDevice is then NULL).
    static int LoadDeviceDriver(const QString& strService, const QString& strPath,
                                HANDLE* phDevice);
    // Removes the service's instance; it closes once no handle refers to it any more.
    static int UnloadDeviceDriver(const QString& strService);
    // Why the last load on this thread failed, for messages.
    static QString LastError();
};
