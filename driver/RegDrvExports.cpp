// The C entry points the program resolves after loading the driver library.
#include "driver/DriverInstance.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>

#define REGDRV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Live instances, so a stale or foreign handle is refused instead of dereferenced.
std::mutex g_instancesMutex;
std::set<CDriverInstance*> g_instances;

bool IsLive(CDriverInstance* p) {
    std::lock_guard lock(g_instancesMutex);
    return g_instances.contains(p);
}

} // namespace

REGDRV_EXPORT void* RegDrvOpen(const char* /*pszServiceName*/) {
    std::string strError;
    const std::optional<SDriverConfig> cfg =
        SDriverConfig::FromEnvironment([](const char* p) { return std::getenv(p); }, strError);
    std::unique_ptr<CDriverInstance> pInstance;
    if (cfg)
        pInstance = CDriverInstance::Create(*cfg, strError);
    if (!pInstance) {
        std::fprintf(stderr, "RegDrv: %s\n", strError.c_str());
        return nullptr;
    }
    std::lock_guard lock(g_instancesMutex);
    g_instances.insert(pInstance.get());
    return pInstance.release();
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
