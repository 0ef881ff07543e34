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

void LoadList(CArchive& ar, QStringList& list) {
    list.clear();
    const int32_t nCount = ar.ReadCount(1); // the narrow empty string is one byte
    for (int32_t i = 0; i < nCount; ++i)
        list.append(ar.ReadString());
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
    LoadList(ar, m_arProcInclude);
    LoadList(ar, m_arProcExclude);
    LoadList(ar, m_arPathInclude);
    LoadList(ar, m_arPathExclude);
}
