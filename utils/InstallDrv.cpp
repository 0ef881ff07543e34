#include "utils/InstallDrv.h"

#include "platform/DynamicLibrary.h"

#include <map>
#include <mutex>

namespace {

std::mutex g_ServicesLock;
std::map<QString, std::shared_ptr<SDeviceInstance>> g_Services;
thread_local QString t_strLastError;

std::shared_ptr<SDeviceInstance> OpenInstance(const QString& strService, const QString& strPath) {
    auto pDevice = std::make_shared<SDeviceInstance>();
    pDevice->m_hLibrary = PlatformLoadLibrary(strPath, &t_strLastError);
    if (!pDevice->m_hLibrary)
        return nullptr;
    auto pfnOpen =
        reinterpret_cast<PFN_REGDRV_OPEN>(PlatformGetSymbol(pDevice->m_hLibrary, REGDRV_SYM_OPEN));
    pDevice->m_pfnClose = reinterpret_cast<PFN_REGDRV_CLOSE>(
        PlatformGetSymbol(pDevice->m_hLibrary, REGDRV_SYM_CLOSE));
    pDevice->m_pfnIoControl = reinterpret_cast<PFN_REGDRV_IOCONTROL>(
        PlatformGetSymbol(pDevice->m_hLibrary, REGDRV_SYM_IOCONTROL));
    if (!pfnOpen || !pDevice->m_pfnClose || !pDevice->m_pfnIoControl) {
        t_strLastError =
            QStringLiteral("%1 is not a driver: its entry points are missing").arg(strPath);
        return nullptr;
    }
    pDevice->m_pInstance = pfnOpen(strService.toUtf8().constData());
    if (!pDevice->m_pInstance) {
        // The driver says why when it can; the reason is what the user must act on.
        auto pfnWhy = reinterpret_cast<PFN_REGDRV_LAST_ERROR>(
            PlatformGetSymbol(pDevice->m_hLibrary, REGDRV_SYM_LAST_ERROR));
        const QString strWhy = pfnWhy ? QString::fromUtf8(pfnWhy()) : QString();
        t_strLastError = strWhy.isEmpty()
                             ? QStringLiteral("the driver in %1 refused to open").arg(strPath)
                             : strWhy;
        return nullptr;
    }
    return pDevice;
}

} // namespace

int CInstallDrv::LoadDeviceDriver(const QString& strService, const QString& strPath,
                                  HANDLE* phDevice) {
    *phDevice = nullptr;
    t_strLastError.clear();
    std::shared_ptr<SDeviceInstance> pDevice = OpenInstance(strService, strPath);
    if (!pDevice)
        return 0;
    {
        std::lock_guard<std::mutex> lock(g_ServicesLock);
        g_Services[strService] = pDevice;
    }
    *phDevice = CreateDeviceHandle(std::move(pDevice));
    return 1;
}

int CInstallDrv::UnloadDeviceDriver(const QString& strService) {
    std::shared_ptr<SDeviceInstance> pDevice;
    {
        std::lock_guard<std::mutex> lock(g_ServicesLock);
        auto it = g_Services.find(strService);
        if (it == g_Services.end())
            return 0;
        pDevice = std::move(it->second);
        g_Services.erase(it);
    }
    return 1; // the instance closes here, outside the lock, unless a handle still holds it
}

QString CInstallDrv::LastError() {
    return t_strLastError;
}
