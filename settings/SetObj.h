// Every persistent user choice, held in the one global settings object g_SetObj.
#pragma once

#include "settings/FilterBlock.h"
#include "store/RegOperations.h"
#include "utils/Object.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>

using COLORREF = uint32_t;
constexpr COLORREF RGB(unsigned r, unsigned g, unsigned b) {
    return COLORREF(r & 0xFF) | (COLORREF(g & 0xFF) << 8) | (COLORREF(b & 0xFF) << 16);
}

enum { EXPORT_ALL = 0, EXPORT_WRITE = 1, EXPORT_MODIFIED = 2 };
enum { SCOPE_ATTACHED = 0, SCOPE_NEW_PROGRAM = 1, SCOPE_ALL = 2 };

inline constexpr COLORREF DEFAULT_BACKGROUND = RGB(186, 210, 224);
inline constexpr int32_t DEFAULT_APP_LOOK = 215;

class CSetObj : public CObject {
public:
    CSetObj();

    void ResetDefaults();
    void Serialize(CArchive& ar) override;
    void Store(CArchive& ar) const;
    void Load(CArchive& ar); // fields in file order, straight into this object
    // The same, noting in pNotes what was read but cannot be used as stored (a negative
    // list count, which gives an empty list).
    void Load(CArchive& ar, QStringList* pNotes);
    // Puts fields whose stored value is outside their range back to their defaults, field by
    // field, and returns a note on each: an export selection or a capture scope outside 0 to
    // 2 (the scope becomes all processes), a negative history depth (unbounded). The look is
    // kept as stored; the window decides what to do with an unknown one.
    QStringList CorrectRanges();

    // The capture thread reads the depth at every append while the window may change it.
    int32_t LoadHistoryDepth() const {
        return std::atomic_ref<int32_t>(const_cast<int32_t&>(m_nHistoryDepth))
            .load(std::memory_order_relaxed);
    }
    void StoreHistoryDepth(int32_t nDepth) {
        std::atomic_ref<int32_t>(m_nHistoryDepth).store(nDepth, std::memory_order_relaxed);
    }
    // The capture thread's program-side filter reads the scope while Start Capture resets it.
    int32_t LoadCaptureScope() const {
        return std::atomic_ref<int32_t>(const_cast<int32_t&>(m_nCaptureScope))
            .load(std::memory_order_acquire);
    }
    void StoreCaptureScope(int32_t nScope) {
        std::atomic_ref<int32_t>(m_nCaptureScope).store(nScope, std::memory_order_release);
    }

    int32_t m_nExportScope;
    FILTER_BLOCK m_Filter;
    COLORREF m_clrText[REG_OPERATION_COUNT];
    COLORREF m_clrBack[REG_OPERATION_COUNT];
    COLORREF m_clrBackground;
    int32_t m_nAppLook;
    int32_t m_nCaptureScope;
    QString m_strAttachName;
    int32_t m_nAttachPid;
    int32_t m_bAttachCaptureNow;
    QString m_strNewProgram;
    QString m_strNewParams;
    int32_t m_bNewCaptureNow;
    QStringList m_arProcInclude;
    QStringList m_arProcExclude;
    QStringList m_arPathInclude;
    QStringList m_arPathExclude;
    int32_t m_nHistoryDepth;
};

extern CSetObj g_SetObj;

// How reading a settings file went.
enum ESettingsRead {
    SETTINGS_READ,       // the object holds the file's settings
    SETTINGS_MISSING,    // there is no such file
    SETTINGS_NOT_A_FILE, // the name is a folder, FIFO, device or socket: never read or written
    SETTINGS_UNREADABLE, // it could not be opened, locked or read
    SETTINGS_DAMAGED,    // it does not hold a complete settings object
};

struct SSettingsRead {
    ESettingsRead nResult = SETTINGS_MISSING;
    QString strError;    // what failed, naming the file
    QStringList arNotes; // values that were read but put back to their defaults
    // The file that was read, to tell it from one that replaced it since.
    unsigned long long nDevice = 0, nInode = 0;
};

// Reads the whole file into pObj under a lock shared with other readers, waiting up to two
// seconds for a program that is saving it. Anything but a regular file is refused before it
// is opened, so a FIFO or a device never blocks the reader. pObj changes only when the whole
// object was read. Values out of range are put back to their defaults
// (CSetObj::CorrectRanges) and noted.
SSettingsRead ReadSettingsFile(const QString& strPath, CSetObj* pObj);
// The same, true when the settings were read; pStrError says what failed otherwise (the
// caller says what follows from it).
bool LoadSettingsFile(const QString& strPath, CSetObj* pObj, QString* pStrError = nullptr);
bool LoadSettingsFile(const QString& strPath, CSetObj* pObj, QString* pStrError,
                      QStringList* pNotes);

// The settings a program starts with. Settings that cannot be used are never replaced without
// a word: a damaged file is moved aside, under the writer's lock, to the first free name of
// strPath + ".damaged", ".damaged-2", ... (an earlier copy is never overwritten), and one that
// cannot be read stays as it is and must not be written over. Either way the defaults stay in
// force and strMessage says once what was wrong and where the copy is.
struct SSettingsStart {
    bool bRefused = false;   // strPath names no regular file: the program must not use it
    bool bMayReplace = true; // the settings may be saved to strPath at exit
    QString strMessage;      // for the user; empty when there is nothing to tell
    QString strKeptAs;       // where a damaged file was kept
    QStringList arNotes;     // values put back to their defaults, as ReadSettingsFile notes them
};
SSettingsStart StartWithSettingsFile(const QString& strPath, CSetObj* pObj);
// Writes g_SetObj (or pObj) under the writer's lock, through a temporary file that replaces
// the old one only when it was written completely.
bool SaveSettingsFile(const QString& strPath, const CSetObj* pObj = nullptr,
                      QString* pStrError = nullptr);
// The lock file beside a settings file that readers share and a writer holds alone.
QString SettingsLockPath(const QString& strPath);

// Where setobj.dat lives: beside the executable, or in the per-user settings folder when
// the executable's folder cannot be written (an installed program keeps its settings).
// Empty when neither folder can be found.
QString GetSettingsPath();
