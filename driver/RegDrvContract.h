// The driver's control codes and buffer layouts, as the program and the driver both see them.
#pragma once

#include "store/RegOperations.h"
#include "utils/ByteBuffer.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

inline constexpr uint32_t REGDRV_VERSION = 200;

inline constexpr uint32_t IOCTL_REGDRV_GET_VERSION = 0x82018000;
inline constexpr uint32_t IOCTL_REGDRV_SET_FILTER = 0x82018004;
inline constexpr uint32_t IOCTL_REGDRV_READ = 0x8201800B;
inline constexpr uint32_t IOCTL_REGDRV_APPLY = 0x8201800C;
inline constexpr uint32_t IOCTL_REGDRV_STOP = 0x82018010;
inline constexpr uint32_t IOCTL_REGDRV_START = 0x82018014;
// Codes of this substitute driver beyond the six above (a program that never sends them sees
// the driver exactly as before):
// SET_TARGET: 4 bytes, little-endian: the process at the root of the process tree to report
// (the process and every process it starts, whatever their names); 0 for none. Staged like
// SET_FILTER and committed by APPLY.
inline constexpr uint32_t IOCTL_REGDRV_SET_TARGET = 0x82018018;
// GET_MESSAGE: the oldest problem the driver has to tell the program about and has not told
// yet (a registry file it could not save, a Wine server that could not be started), as UTF-8
// text without a terminating zero; 0 bytes when there is none. A message longer than the
// output buffer is cut at a character boundary.
inline constexpr uint32_t IOCTL_REGDRV_GET_MESSAGE = 0x8201801C;
inline constexpr size_t REGDRV_TARGET_SIZE = 4;

// The reader hands the driver exactly this many bytes; the driver returns only whole records.
inline constexpr size_t READ_BUFFER_SIZE = 65523;

// REGDRV_FILTER: two zero-terminated narrow texts and one switch byte per driver operation.
inline constexpr size_t FILTER_TEXT_SIZE = 1024;
inline constexpr size_t FILTER_INCLUDE_OFFSET = 0;
inline constexpr size_t FILTER_EXCLUDE_OFFSET = 1024;
inline constexpr size_t FILTER_SWITCH_OFFSET = 2048;
inline constexpr size_t FILTER_SWITCH_COUNT = 17;
inline constexpr size_t REGDRV_FILTER_SIZE = 2065;

// Driver operation numbers (switch bytes). They are not the record's operation codes.
// Switch 0 reports operations that succeeded, switch 1 those that failed: an event is
// reported only when the switch of its outcome and the switch of its operation are both on.
// Switch 14 reports the driver's own bookkeeping events (events it had to drop).
enum ERegDrvSwitch {
    DRV_SW_SUCCEEDED = 0,
    DRV_SW_FAILED = 1,
    DRV_SW_OPEN_KEY = 2,
    DRV_SW_QUERY_KEY = 3,
    DRV_SW_QUERY_VALUE = 4,
    DRV_SW_ENUM_VALUE = 5,
    DRV_SW_ENUM_KEY = 6,
    DRV_SW_FLUSH_KEY = 7,
    DRV_SW_DELETE_KEY = 8,
    DRV_SW_SET_VALUE = 9,
    DRV_SW_CREATE_NEW = 10,
    DRV_SW_CREATE_OPEN = 11,
    DRV_SW_DELETE_VALUE = 12,
    DRV_SW_CLOSE_KEY = 13,
    DRV_SW_BOOKKEEPING = 14,
    DRV_SW_LOAD_KEY = 15,
    DRV_SW_UNLOAD_KEY = 16,
};

// The switch byte that governs each record operation code (index: ERegOperation).
inline constexpr int g_SwitchOfOperation[REG_OPERATION_COUNT] = {
    DRV_SW_OPEN_KEY,   DRV_SW_CLOSE_KEY,    DRV_SW_QUERY_KEY,   DRV_SW_QUERY_VALUE,
    DRV_SW_ENUM_KEY,   DRV_SW_ENUM_VALUE,   DRV_SW_CREATE_OPEN, DRV_SW_FLUSH_KEY,
    DRV_SW_LOAD_KEY,   DRV_SW_UNLOAD_KEY,   DRV_SW_CREATE_NEW,  DRV_SW_SET_VALUE,
    DRV_SW_DELETE_KEY, DRV_SW_DELETE_VALUE,
};

// REGDRV_EVENT: Seq (4), Time (8, file time), reserved (8), Text with its zero padded to 4.
inline constexpr size_t REGDRV_EVENT_HEADER_SIZE = 20;
inline constexpr size_t REGDRV_EVENT_TEXT_OFFSET = 20;
inline constexpr size_t REGDRV_TEXT_FIELD_COUNT = 7;

// Bytes one record takes, n being its text length without the terminating zero.
inline constexpr size_t RegDrvEventSize(size_t nTextLen) {
    return REGDRV_EVENT_HEADER_SIZE + ((nTextLen + 4) & ~size_t(3));
}

// 100-nanosecond units between 1601-01-01 and 1970-01-01 (UTC).
inline constexpr uint64_t FILETIME_UNIX_EPOCH = 116444736000000000ull;

// Appends one record; writes nothing and returns false when it does not fit whole.
inline bool RegDrvPackEvent(CByteWriter& w, uint32_t nSeq, uint64_t nFileTime,
                            std::string_view text) {
    const size_t nSize = RegDrvEventSize(text.size());
    if (nSize > w.Remaining())
        return false;
    w.WriteU32(nSeq);
    w.WriteU64(nFileTime);
    w.Fill(0, 8);
    w.Write(text.data(), text.size());
    w.Fill(0, nSize - REGDRV_EVENT_HEADER_SIZE - text.size());
    return true;
}

// Entry points the substitute driver library exports (C linkage). A driver instance is opaque.
extern "C" {
typedef void* (*PFN_REGDRV_OPEN)(const char* pszServiceName);
typedef void (*PFN_REGDRV_CLOSE)(void* pInstance);
// Returns 1 on success, 0 on failure; *pBytesReturned gets the output bytes used.
typedef int (*PFN_REGDRV_IOCONTROL)(void* pInstance, uint32_t nCode, const void* pIn,
                                    uint32_t nInSize, void* pOut, uint32_t nOutSize,
                                    uint32_t* pBytesReturned);
// Why the last RegDrvOpen returned NULL (UTF-8, valid until the next RegDrvOpen); optional.
typedef const char* (*PFN_REGDRV_LAST_ERROR)();
}
inline constexpr const char* REGDRV_SYM_OPEN = "RegDrvOpen";
inline constexpr const char* REGDRV_SYM_CLOSE = "RegDrvClose";
inline constexpr const char* REGDRV_SYM_IOCONTROL = "RegDrvDeviceIoControl";
inline constexpr const char* REGDRV_SYM_LAST_ERROR = "RegDrvLastError";
