// Loading a shared library and finding its entry points.
#pragma once

#include <QString>

// Returns nullptr and fills pStrError when the library cannot be loaded.
void* PlatformLoadLibrary(const QString& strPath, QString* pStrError = nullptr);
void* PlatformGetSymbol(void* hLibrary, const char* pName);
void PlatformFreeLibrary(void* hLibrary);
