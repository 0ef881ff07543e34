// The C entry points the program resolves after loading the driver library.
#include "driver/DriverInstance.h"

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <set>

#define REGDRV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Live instances, so a stale or foreign handle is refused instead of dereferenced.
std::mutex g_instancesMutex;
// Why the last open failed. Not thread-local: a module's own thread-local storage outlives its
// unloading in some tools' bookkeeping (LeakSanitizer scans it at exit).
std::mutex g_lastErrorMutex;
char g_szLastError[2048];
std::set<CDriverInstance*> g_instances;

bool IsLive(CDriverInstance* p) {
    std::lock_guard lock(g_instancesMutex);
    return g_instances.contains(p);
}

// The folder this module was loaded from, found through one of its own addresses.
std::string ModuleFolder() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ModuleFolder), &info) || !info.dli_fname)
        return {};
    std::string strPath = info.dli_fname;
    const size_t nSlash = strPath.rfind('/');
    return nSlash == std::string::npos ? std::string() : strPath.substr(0, nSlash);
}

} // namespace

REGDRV_EXPORT void* RegDrvOpen(const char* /*pszServiceName*/) {
    std::string strError;
    std::optional<SDriverConfig> cfg =
        SDriverConfig::FromEnvironment([](const char* p) { return std::getenv(p); }, strError);
    std::unique_ptr<CDriverInstance> pInstance;
    if (cfg) {
        cfg->m_strRegistryDir =
            SDriverConfig::RegistryFolder(std::getenv("HIVEWATCH_DRIVER_REGISTRY"), ModuleFolder());
        pInstance = CDriverInstance::Create(*cfg, strError);
    }
    {
        std::lock_guard lock(g_lastErrorMutex);
        const std::string strWhy = pInstance ? std::string() : strError;
        const size_t n = std::min(strWhy.size(), sizeof(g_szLastError) - 1);
        std::memcpy(g_szLastError, strWhy.data(), n);
        g_szLastError[n] = '\0';
    }
    if (!pInstance)
        return nullptr;
    std::lock_guard lock(g_instancesMutex);
    g_instances.insert(pInstance.get());
    return pInstance.release();
}

// The reason stays valid until the next RegDrvOpen.
REGDRV_EXPORT const char* RegDrvLastError() {
    return g_szLastError;
}

REGDRV_EXPORT void RegDrvClose(void* pInstance) {
    auto* p = static_cast<CDriverInstance*>(pInstance);
    {
        std::lock_guard lock(g_instancesMutex);
        if (g_instances.erase(p) == 0)
            return;
    }
    delete p;
}

// Calls on one instance may come from several threads, but not while it is being closed.
REGDRV_EXPORT int RegDrvDeviceIoControl(void* pInstance, uint32_t nCode, const void* pIn,
                                        uint32_t nInSize, void* pOut, uint32_t nOutSize,
                                        uint32_t* pBytesReturned) {
    if (pBytesReturned)
        *pBytesReturned = 0;
    auto* p = static_cast<CDriverInstance*>(pInstance);
    if (!IsLive(p) || (!pIn && nInSize > 0) || (!pOut && nOutSize > 0))
        return 0;
    uint32_t nReturned = 0;
    const bool bOk =
        p->IoControl(nCode, {static_cast<const unsigned char*>(pIn), pIn ? nInSize : 0},
                     {static_cast<unsigned char*>(pOut), pOut ? nOutSize : 0}, nReturned);
    if (pBytesReturned)
        *pBytesReturned = nReturned;
    return bOk ? 1 : 0;
}
