// Reading a small file whole, such as a process's cmdline or comm under /proc (no Qt).
#pragma once

#include <cstdio>
#include <memory>
#include <string>

// At most nMax bytes of the file; empty when it cannot be read. Files under /proc report no
// size, so the bytes are read rather than sized first.
inline std::string ReadSmallFile(const std::string& strPath, size_t nMax) {
    std::unique_ptr<FILE, int (*)(FILE*)> pFile(std::fopen(strPath.c_str(), "rbe"), &std::fclose);
    if (!pFile)
        return {};
    std::string str(nMax, '\0');
    str.resize(std::fread(str.data(), 1, nMax, pFile.get()));
    return str;
}
