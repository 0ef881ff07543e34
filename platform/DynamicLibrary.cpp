#include "platform/DynamicLibrary.h"

#include <QFile>

#include <dlfcn.h>

void* PlatformLoadLibrary(const QString& strPath, QString* pStrError) {
    void* h = dlopen(QFile::encodeName(strPath).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!h && pStrError)
        *pStrError = QString::fromLocal8Bit(dlerror());
    return h;
}

void* PlatformGetSymbol(void* hLibrary, const char* pName) {
    return hLibrary ? dlsym(hLibrary, pName) : nullptr;
}

void PlatformFreeLibrary(void* hLibrary) {
    if (hLibrary)
        dlclose(hLibrary);
}
