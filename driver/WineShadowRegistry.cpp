#include "driver/WineShadowRegistry.h"

#include "winereg/RegKeyContents.h"

namespace {

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QByteArray Bytes(const std::string& s) {
    return QByteArray(s.data(), qsizetype(s.size()));
}

} // namespace

CWineRegKey* CWineShadowRegistry::Find(std::string_view keyPath) const {
    return m_registry.FindKey(Q(keyPath));
}

std::string CWineShadowRegistry::MarkOf(const CWineRegKey& key, std::string_view name) const {
    return (key.PathFrom() + QLatin1Char('\\') + Q(name)).toUpper().toStdString();
}

void CWineShadowRegistry::Changed(std::string_view keyPath) {
    ++m_nChanges;
    const std::optional<QString> internal = RegistryPathOf(Q(keyPath), m_registry.UserSid());
    if (!internal)
        return;
    const auto below = [&](const QString& strTop) {
        return internal->startsWith(strTop, Qt::CaseInsensitive) &&
               (internal->size() == strTop.size() || internal->at(strTop.size()) == u'\\');
    };
    if (below(QStringLiteral("Machine")))
        m_nChangedHives |= HIVE_SYSTEM;
    else if (below(QStringLiteral("User\\") + m_registry.UserSid()))
        m_nChangedHives |= HIVE_USER;
    else if (below(QStringLiteral("User\\.Default")))
        m_nChangedHives |= HIVE_USERDEF;
    else
        m_nChangedHives |= HIVE_USERS;
}

void CWineShadowRegistry::CreateKey(std::string_view keyPath) {
    bool bCreated = false;
    const CWineRegKey* pKey = m_registry.CreateKey(Q(keyPath), &bCreated);
    if (!bCreated)
        return;
    if (!m_bComplete && pKey)
        m_created.insert(MarkOf(*pKey, {}));
    Changed(keyPath);
}

std::string CWineShadowRegistry::ContentsText(std::string_view keyPath, size_t nMaxBytes) const {
    const CWineRegKey* pKey = Find(keyPath);
    if (!pKey)
        return {};
    if (!m_bComplete) {
        bool bKnown = false;
        for (const CWineRegKey* p = pKey; p && !bKnown; p = p->Parent())
            bKnown = m_created.contains(MarkOf(*p, {}));
        if (!bKnown)
            return {};
    }
    const auto cut = [this](const CWineRegKey& key, const SWineRegValue& value) {
        return !m_truncated.empty() &&
               m_truncated.contains(MarkOf(key, value.m_strName.toStdString()));
    };
    return RegKeyContentsText(*pKey, qsizetype(nMaxBytes), cut).toStdString();
}

void CWineShadowRegistry::DeleteKey(std::string_view keyPath) {
    const CWineRegKey* pKey = Find(keyPath);
    if (!pKey)
        return;
    const std::string strBelow = MarkOf(*pKey, {});
    for (auto* pMarks : {&m_truncated, &m_created})
        if (!pMarks->empty())
            std::erase_if(*pMarks, [&](const std::string& s) { return s.starts_with(strBelow); });
    if (m_registry.DeleteKey(Q(keyPath)))
        Changed(keyPath);
}

std::optional<SShadowValue> CWineShadowRegistry::FindValue(std::string_view keyPath,
                                                           std::string_view name) const {
    const CWineRegKey* pKey = Find(keyPath);
    const SWineRegValue* pValue = pKey ? pKey->FindValue(Q(name)) : nullptr;
    if (!pValue)
        return std::nullopt;
    SShadowValue value{pValue->m_nType, pValue->m_data.toStdString(), false};
    value.m_bTruncated = !m_truncated.empty() && m_truncated.contains(MarkOf(*pKey, name));
    return value;
}

void CWineShadowRegistry::SetValue(std::string_view keyPath, std::string_view name,
                                   SShadowValue value) {
    CWineRegKey* pKey = m_registry.CreateKey(Q(keyPath));
    if (!pKey)
        return;
    SWineRegValue reg{Q(name), value.m_nType, Bytes(value.m_data)};
    const std::string strMark = MarkOf(*pKey, name);
    const bool bWasTruncated = !m_truncated.empty() && m_truncated.contains(strMark);
    if (const SWineRegValue* pOld = pKey->FindValue(reg.m_strName)) {
        if (pOld->m_nType == reg.m_nType && pOld->m_data == reg.m_data &&
            bWasTruncated == value.m_bTruncated)
            return;
        reg.m_strName = pOld->m_strName; // a value keeps the spelling it was created with
    }
    pKey->SetValue(std::move(reg));
    if (value.m_bTruncated)
        m_truncated.insert(strMark);
    else if (bWasTruncated)
        m_truncated.erase(strMark);
    Changed(keyPath);
}

bool CWineShadowRegistry::DeleteValue(std::string_view keyPath, std::string_view name) {
    CWineRegKey* pKey = Find(keyPath);
    if (!pKey || !pKey->DeleteValue(Q(name)))
        return false;
    if (!m_truncated.empty())
        m_truncated.erase(MarkOf(*pKey, name));
    Changed(keyPath);
    return true;
}

void CWineShadowRegistry::AddLink(std::string_view keyPath, std::string_view targetPath) {
    CWineRegKey* pKey = m_registry.CreateKey(Q(keyPath));
    if (!pKey)
        return;
    const QString strTarget = Q(targetPath);
    pKey->m_bLink = true;
    pKey->SetValue(
        {QString::fromUtf16(LINK_VALUE_NAME), REG_LINK,
         QByteArray(reinterpret_cast<const char*>(strTarget.utf16()), strTarget.size() * 2)});
    Changed(keyPath);
}
