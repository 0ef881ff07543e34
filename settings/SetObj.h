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

// Reads the whole file into pObj under a lock shared with other readers, waiting up to two
// seconds for a program that is saving it. Fails, leaving pObj untouched, when the file
// cannot be opened or locked or does not hold a complete settings object; pStrError then
// says what failed (the caller says what follows from it). Values out of range are put back
// to their defaults (CSetObj::CorrectRanges) and noted in pNotes.
bool LoadSettingsFile(const QString& strPath, CSetObj* pObj, QString* pStrError = nullptr);
bool LoadSettingsFile(const QString& strPath, CSetObj* pObj, QString* pStrError,
                      QStringList* pNotes);
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
