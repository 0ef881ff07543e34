#include "settings/SetObj.h"

#include "utils/Archive.h"

#include <cstring>

CSetObj g_SetObj;

namespace {

// Switch bytes of a fresh filter block, by driver operation number.
constexpr uint8_t kDefaultSwitches[FILTER_SWITCH_COUNT] = {1, 1, 0, 0, 0, 0, 0, 0, 1,
                                                           1, 1, 0, 1, 0, 0, 0, 0};

void StoreList(CArchive& ar, const QStringList& list) {
    ar.WriteInt32(int32_t(list.size()));
    for (const QString& str : list)
        ar.WriteString(str);
}

void LoadList(CArchive& ar, QStringList& list, const char* pName, QStringList* pNotes) {
    list.clear();
    const int32_t nCount = ar.ReadCount(1); // the narrow empty string is one byte
    if (nCount < 0 && pNotes)
        pNotes->append(QStringLiteral("the %1 list has a negative count (%2); it is empty")
                           .arg(QLatin1String(pName))
                           .arg(nCount));
    for (int32_t i = 0; i < nCount; ++i)
        list.append(ar.ReadString());
}

bool InRange(int32_t n, int32_t nLow, int32_t nHigh) {
    return n >= nLow && n <= nHigh;
}

} // namespace

CSetObj::CSetObj() {
    std::memset(&m_Filter, 0, sizeof(m_Filter));
    m_clrBackground = DEFAULT_BACKGROUND;
    ResetDefaults();
}

void CSetObj::ResetDefaults() {
    m_nExportScope = EXPORT_ALL;
    std::memset(&m_Filter, 0, sizeof(m_Filter));
    m_Filter.szInclude[0] = '*';
    std::memcpy(m_Filter.bSwitch, kDefaultSwitches, sizeof(kDefaultSwitches));
    for (int i = 0; i < REG_OPERATION_COUNT; ++i) {
        m_clrText[i] = RGB(0, 0, 0);
        m_clrBack[i] = m_clrBackground; // the look colour at the moment defaults apply
    }
    m_clrText[OP_SET_VALUE] = RGB(255, 0, 0);
    m_clrBack[OP_SET_VALUE] = RGB(122, 122, 0);
    m_clrBackground = DEFAULT_BACKGROUND;
    m_nAppLook = DEFAULT_APP_LOOK;
    m_nCaptureScope = SCOPE_ALL;
    m_strAttachName.clear();
    m_nAttachPid = 0;
    m_bAttachCaptureNow = 1;
    m_strNewProgram.clear();
    m_strNewParams.clear();
    m_bNewCaptureNow = 1;
    m_arProcInclude = QStringList{QStringLiteral("*")};
    m_arProcExclude.clear();
    m_arPathInclude = QStringList{QStringLiteral("*")};
    m_arPathExclude.clear();
    m_nHistoryDepth = 0;
}

void CSetObj::Serialize(CArchive& ar) {
    if (ar.IsStoring())
        Store(ar);
    else
        Load(ar);
}

// File order differs from member order: the history depth follows the colour pairs.
void CSetObj::Store(CArchive& ar) const {
    ar.WriteInt32(m_nExportScope);
    ar.Write(&m_Filter, sizeof(m_Filter));
    for (int i = 0; i < REG_OPERATION_COUNT; ++i) {
        ar.WriteUInt32(m_clrText[i]);
        ar.WriteUInt32(m_clrBack[i]);
    }
    ar.WriteInt32(LoadHistoryDepth());
    ar.WriteUInt32(m_clrBackground);
    ar.WriteInt32(m_nAppLook);
    ar.WriteInt32(m_nCaptureScope);
    ar.WriteString(m_strAttachName);
    ar.WriteInt32(m_nAttachPid);
    ar.WriteInt32(m_bAttachCaptureNow);
    ar.WriteString(m_strNewProgram);
    ar.WriteString(m_strNewParams);
    ar.WriteInt32(m_bNewCaptureNow);
    StoreList(ar, m_arProcInclude);
    StoreList(ar, m_arProcExclude);
    StoreList(ar, m_arPathInclude);
    StoreList(ar, m_arPathExclude);
}

void CSetObj::Load(CArchive& ar) {
    Load(ar, nullptr);
}

void CSetObj::Load(CArchive& ar, QStringList* pNotes) {
    m_nExportScope = ar.ReadInt32();
    ar.Read(&m_Filter, sizeof(m_Filter));
    for (int i = 0; i < REG_OPERATION_COUNT; ++i) {
        m_clrText[i] = ar.ReadUInt32();
        m_clrBack[i] = ar.ReadUInt32();
    }
    StoreHistoryDepth(ar.ReadInt32());
    m_clrBackground = ar.ReadUInt32();
    m_nAppLook = ar.ReadInt32();
    m_nCaptureScope = ar.ReadInt32();
    m_strAttachName = ar.ReadString();
    m_nAttachPid = ar.ReadInt32();
    m_bAttachCaptureNow = ar.ReadInt32();
    m_strNewProgram = ar.ReadString();
    m_strNewParams = ar.ReadString();
    m_bNewCaptureNow = ar.ReadInt32();
    LoadList(ar, m_arProcInclude, "process include", pNotes);
    LoadList(ar, m_arProcExclude, "process exclude", pNotes);
    LoadList(ar, m_arPathInclude, "path include", pNotes);
    LoadList(ar, m_arPathExclude, "path exclude", pNotes);
}

QStringList CSetObj::CorrectRanges() {
    QStringList notes;
    if (!InRange(m_nExportScope, EXPORT_ALL, EXPORT_MODIFIED)) {
        notes << QStringLiteral("the export selection %1 is out of range (0 to 2); all records "
                                "are exported")
                     .arg(m_nExportScope);
        m_nExportScope = EXPORT_ALL;
    }
    if (!InRange(m_nCaptureScope, SCOPE_ATTACHED, SCOPE_ALL)) {
        notes << QStringLiteral("the capture scope %1 is out of range (0 to 2); all processes "
                                "are captured")
                     .arg(m_nCaptureScope);
        StoreCaptureScope(SCOPE_ALL);
    }
    if (LoadHistoryDepth() < 0) {
        notes << QStringLiteral("the history depth %1 is negative; the history is unbounded")
                     .arg(LoadHistoryDepth());
        StoreHistoryDepth(0);
    }
    return notes;
}
