#include "platform/DeviceIo.h"

#include "platform/DynamicLibrary.h"

SDeviceInstance::~SDeviceInstance() {
    if (m_pfnClose && m_pInstance)
        m_pfnClose(m_pInstance);
    PlatformFreeLibrary(m_hLibrary);
}

HANDLE CreateDeviceHandle(std::shared_ptr<SDeviceInstance> pDevice) {
    if (!pDevice)
        return nullptr;
    return new SDeviceHandle{std::move(pDevice)};
}

void CloseHandle(HANDLE hDevice) {
    delete hDevice;
}

int DeviceIoControl(HANDLE hDevice, uint32_t nCode, const void* pIn, uint32_t nInSize, void* pOut,
                    uint32_t nOutSize, uint32_t* pBytesReturned) {
    uint32_t nReturned = 0;
    if (pBytesReturned)
        *pBytesReturned = 0;
    if (!hDevice || !hDevice->m_pDevice || !hDevice->m_pDevice->m_pfnIoControl)
        return 0;
    const SDeviceInstance& dev = *hDevice->m_pDevice;
    const int bOk =
        dev.m_pfnIoControl(dev.m_pInstance, nCode, pIn, nInSize, pOut, nOutSize, &nReturned);
    if (pBytesReturned)
        *pBytesReturned = nReturned;
    return bOk ? 1 : 0;
}
