#include "driver/WineShadowLoader.h"

#include "winereg/WineRegistry.h"

namespace {

// Copies one key and everything below it; paths are Wine's ("\Registry\Machine\...").
void CopyKey(const CWineRegKey& key, const std::string& strPath, CWineShadowRegistry& shadow) {
    shadow.CreateKey(strPath);
    for (qsizetype i = 0; i < key.ValueCount(); ++i) {
        const SWineRegValue& value = key.Value(i);
        shadow.SetValue(strPath, value.m_strName.toStdString(),
                        {value.m_nType, value.m_data.toStdString(), false});
    }
    if (key.m_bLink)
        if (const SWineRegValue* pTarget = key.FindValue(QStringView(LINK_VALUE_NAME)))
            shadow.AddLink(strPath, RegStringFromData(pTarget->m_data).toStdString());
    for (qsizetype i = 0; i < key.SubKeyCount(); ++i) {
        const CWineRegKey* pSub = key.SubKey(i);
        CopyKey(*pSub, strPath + "\\" + pSub->Name().toStdString(), shadow);
    }
}

} // namespace

bool LoadWineShadow(const std::string& strPrefix, CWineShadowRegistry& shadow,
                    std::string& strUserSid, std::vector<std::string>& arErrors) {
    CWineRegistry registry;
    QStringList arWhy;
    const bool bOk = registry.LoadFolder(QString::fromStdString(strPrefix), arWhy);
    for (const QString& strWhy : arWhy)
        arErrors.push_back(strWhy.toStdString());
    CopyKey(registry.Top(), "\\Registry", shadow);
    strUserSid = registry.UserSid().toStdString();
    return bOk;
}
