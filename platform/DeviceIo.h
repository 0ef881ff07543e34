// Control channel to a loaded driver instance: handles and control calls.
#pragma once

#include "driver/RegDrvContract.h"

#include <cstdint>
#include <memory>

// One opened driver instance. It is closed (and its library unloaded) when the service
// entry and every handle on it are gone, so a call never reaches unloaded code.
struct SDeviceInstance {
    SDeviceInstance() = default;
    SDeviceInstance(const SDeviceInstance&) = delete;
    SDeviceInstance& operator=(const SDeviceInstance&) = delete;
    ~SDeviceInstance();

    void* m_hLibrary = nullptr; // nullptr for an in-process instance (tests)
    void* m_pInstance = nullptr;
    PFN_REGDRV_CLOSE m_pfnClose = nullptr;
    PFN_REGDRV_IOCONTROL m_pfnIoControl = nullptr;
};

struct SDeviceHandle {
    std::shared_ptr<SDeviceInstance> m_pDevice;
};
using HANDLE = SDeviceHandle*;

HANDLE CreateDeviceHandle(std::shared_ptr<SDeviceInstance> pDevice);
void CloseHandle(HANDLE hDevice);

// Sends one control code; returns nonzero on success. Safe to call from two threads at once.
int DeviceIoControl(HANDLE hDevice, uint32_t nCode, const void* pIn, uint32_t nInSize, void* pOut,
                    uint32_t nOutSize, uint32_t* pBytesReturned);
