#include "driver/WineValueText.h"

#include "driver/SimRegistry.h"

#include <cstdio>

namespace {

const char* TypeName(uint32_t nType, char* szBuf, size_t nBuf) {
    static const char* const NAMES[] = {"REG_NONE",
                                        "REG_SZ",
                                        "REG_EXPAND_SZ",
                                        "REG_BINARY",
                                        "REG_DWORD",
                                        "REG_DWORD_BIG_ENDIAN",
                                        "REG_LINK",
                                        "REG_MULTI_SZ",
                                        "REG_RESOURCE_LIST",
                                        "REG_FULL_RESOURCE_DESCRIPTOR",
                                        "REG_RESOURCE_REQUIREMENTS_LIST",
                                        "REG_QWORD"};
    if (nType < std::size(NAMES))
        return NAMES[nType];
    std::snprintf(szBuf, nBuf, "REG_0x%x", nType);
    return szBuf;
}

void AppendUtf16(std::string& str, std::string_view data, bool bMulti) {
    uint32_t nHigh = 0;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        const uint32_t c = uint8_t(data[i]) | (uint32_t(uint8_t(data[i + 1])) << 8);
        if (c == 0) {
            if (!bMulti || i + 3 >= data.size() || (data[i + 2] == 0 && data[i + 3] == 0))
                return;
            str += ", ";
            continue;
        }
        uint32_t cp = c;
        if (c >= 0xD800 && c <= 0xDBFF) {
            nHigh = c;
            continue;
        }
        if (c >= 0xDC00 && c <= 0xDFFF)
            cp = nHigh ? 0x10000 + ((nHigh - 0xD800) << 10) + (c - 0xDC00) : 0xFFFD;
        nHigh = 0;
        if (cp < 0x80) {
            str.push_back(char(cp));
        } else if (cp < 0x800) {
            str.push_back(char(0xC0 | (cp >> 6)));
            str.push_back(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            str.push_back(char(0xE0 | (cp >> 12)));
            str.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            str.push_back(char(0x80 | (cp & 0x3F)));
        } else {
            str.push_back(char(0xF0 | (cp >> 18)));
            str.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
            str.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            str.push_back(char(0x80 | (cp & 0x3F)));
        }
        if (str.size() > MAX_VALUE_TEXT * 2)
            return;
    }
}

uint64_t LoadLE(std::string_view data, size_t nBytes) {
    uint64_t n = 0;
    for (size_t i = 0; i < nBytes; ++i)
        n |= uint64_t(uint8_t(data[i])) << (8 * i);
    return n;
}

} // namespace

std::string WineValueText(uint32_t nType, std::string_view data, bool bTruncated) {
    char szType[32];
    std::string str = TypeName(nType, szType, sizeof(szType));
    str += ": ";
    char sz[64];
    if ((nType == 4 || nType == 5) && data.size() == 4 && !bTruncated) {
        uint32_t n = uint32_t(LoadLE(data, 4));
        if (nType == 5)
            n = __builtin_bswap32(n);
        str += DwordText(n);
    } else if (nType == 11 && data.size() == 8 && !bTruncated) {
        const uint64_t n = LoadLE(data, 8);
        std::snprintf(sz, sizeof(sz), "0x%016llx (%llu)", (unsigned long long)n,
                      (unsigned long long)n);
        str += sz;
    } else if (nType == 1 || nType == 2 || nType == 6 || nType == 7) {
        AppendUtf16(str, data, nType == 7);
    } else {
        for (size_t i = 0; i < data.size() && str.size() < MAX_VALUE_TEXT + 16; ++i) {
            std::snprintf(sz, sizeof(sz), i ? " %02X" : "%02X", unsigned(uint8_t(data[i])));
            str += sz;
        }
    }
    if (str.size() > MAX_VALUE_TEXT) {
        str.resize(MAX_VALUE_TEXT);
        while (!str.empty() && (uint8_t(str.back()) & 0xC0) == 0x80)
            str.pop_back(); // never end inside a UTF-8 sequence
        if (!str.empty() && uint8_t(str.back()) >= 0xC0)
            str.pop_back();
        bTruncated = true;
    }
    if (bTruncated)
        str += "...";
    return str;
}
