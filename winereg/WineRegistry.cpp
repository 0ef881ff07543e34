#include "winereg/WineRegistry.h"

#include "winereg/WineRegReader.h"
#include "winereg/WineRegWriter.h"

#include <QFileInfo>

#include <array>

namespace {

constexpr int MAX_LINK_HOPS = 16;

const QString MACHINE = QStringLiteral("Machine");
const QString USER = QStringLiteral("User");
const QString DEFAULT_USER = QStringLiteral(".Default");
const QString CLASSES = QStringLiteral("Machine\\Software\\Classes");
const QString CURRENT_CONFIG =
    QStringLiteral("Machine\\System\\CurrentControlSet\\Hardware Profiles\\Current");

// If path starts with prefix (ignoring case) followed by its end or a backslash, removes the
// prefix and returns true; path then is empty or starts with the backslash.
bool EatPrefix(QStringView& path, QStringView prefix) {
    if (path.size() < prefix.size() || !EqualRegNames(path.left(prefix.size()), prefix))
        return false;
    if (path.size() > prefix.size() && path[prefix.size()] != u'\\')
        return false;
    path = path.mid(prefix.size());
    return true;
}

QStringView WithoutLeadingSlash(QStringView path) {
    while (path.startsWith(u'\\'))
        path = path.mid(1);
    return path;
}

struct SRootPlace {
    const char16_t* m_pAbbrev;
    const char16_t* m_pFull;
};
constexpr std::array<SRootPlace, 5> ROOTS = {{
    {u"HKLM", u"HKEY_LOCAL_MACHINE"},
    {u"HKCU", u"HKEY_CURRENT_USER"},
    {u"HKCR", u"HKEY_CLASSES_ROOT"},
    {u"HKU", u"HKEY_USERS"},
    {u"HKCC", u"HKEY_CURRENT_CONFIG"},
}};

QString RootPlace(size_t nRoot, QStringView userSid) {
    switch (nRoot) {
    case 0:
        return MACHINE;
    case 1:
        return USER + QLatin1Char('\\') + userSid.toString();
    case 2:
        return CLASSES;
    case 3:
        return USER;
    default:
        return CURRENT_CONFIG;
    }
}

qsizetype ComponentCount(QStringView path) {
    qsizetype n = 0;
    bool bInName = false;
    for (QChar c : path) {
        if (c == u'\\')
            bInName = false;
        else if (!bInName)
            bInName = true, ++n;
    }
    return n;
}

} // namespace

std::optional<QString> RegistryPathOf(QStringView path, QStringView userSid) {
    path = WithoutLeadingSlash(path);
    if (EatPrefix(path, u"REGISTRY"))
        return WithoutLeadingSlash(path).toString();
    for (size_t i = 0; i < ROOTS.size(); ++i)
        if (EatPrefix(path, ROOTS[i].m_pAbbrev) || EatPrefix(path, ROOTS[i].m_pFull))
            return RootPlace(i, userSid) + path.toString();
    return std::nullopt;
}

QString RootPathOf(QStringView winePath, QStringView userSid) {
    QStringView path = WithoutLeadingSlash(winePath);
    if (!EatPrefix(path, u"REGISTRY"))
        return {};
    path = WithoutLeadingSlash(path);
    if (EatPrefix(path, CLASSES))
        return QStringLiteral("HKCR") + path.toString();
    if (EatPrefix(path, CURRENT_CONFIG))
        return QStringLiteral("HKCC") + path.toString();
    if (EatPrefix(path, MACHINE))
        return QStringLiteral("HKLM") + path.toString();
    if (!EatPrefix(path, USER))
        return {};
    QStringView rest = path;
    if (!userSid.isEmpty() && EatPrefix(rest, QString(QLatin1Char('\\') + userSid.toString())))
        return QStringLiteral("HKCU") + rest.toString();
    return QStringLiteral("HKU") + path.toString();
}

CWineRegistry::CWineRegistry() {
    Clear();
}

void CWineRegistry::Clear() {
    while (m_top.SubKeyCount() > 0)
        m_top.DeleteSubKey(m_top.SubKey(0)->Name());
    m_top.CreateSubKey(MACHINE);
    m_top.CreateSubKey(USER);
}

CWineRegKey* CWineRegistry::Walk(QStringView internalPath, bool bCreate, bool* pbCreated,
                                 int nHops) const {
    if (pbCreated)
        *pbCreated = false;
    if (ComponentCount(internalPath) > CWineRegKey::MAX_DEPTH)
        return nullptr;
    CWineRegKey* pKey = const_cast<CWineRegKey*>(&m_top);
    qsizetype nStart = 0;
    while (pKey && nStart <= internalPath.size()) {
        qsizetype nEnd = internalPath.indexOf(u'\\', nStart);
        if (nEnd < 0)
            nEnd = internalPath.size();
        const QStringView name = internalPath.mid(nStart, nEnd - nStart);
        nStart = nEnd + 1;
        if (name.isEmpty())
            continue;
        CWineRegKey* pSub = pKey->FindSubKey(name);
        if (!pSub) {
            if (!bCreate)
                return nullptr;
            pSub = pKey->CreateSubKey(name);
            if (pbCreated)
                *pbCreated = true;
        } else if (pSub->m_bLink) {
            if (nHops >= MAX_LINK_HOPS)
                return nullptr;
            const SWineRegValue* pTarget = pSub->FindValue(LINK_VALUE_NAME);
            if (!pTarget || pTarget->m_nType != REG_LINK)
                return nullptr;
            const std::optional<QString> target =
                RegistryPathOf(RegStringFromData(pTarget->m_data), m_strUserSid);
            pSub = target ? Walk(*target, false, nullptr, nHops + 1) : nullptr;
        }
        pKey = pSub;
    }
    return pKey;
}

CWineRegKey* CWineRegistry::LinkTarget(const CWineRegKey& key) const {
    if (!key.m_bLink)
        return nullptr;
    const SWineRegValue* pTarget = key.FindValue(LINK_VALUE_NAME);
    if (!pTarget || pTarget->m_nType != REG_LINK)
        return nullptr;
    const std::optional<QString> target =
        RegistryPathOf(RegStringFromData(pTarget->m_data), m_strUserSid);
    return target ? Walk(*target, false, nullptr, 1) : nullptr;
}

CWineRegKey* CWineRegistry::FindKey(QStringView path) const {
    const std::optional<QString> internal = RegistryPathOf(path, m_strUserSid);
    return internal ? Walk(*internal, false, nullptr, 0) : nullptr;
}

CWineRegKey* CWineRegistry::CreateKey(QStringView path, bool* pbCreated) {
    if (pbCreated)
        *pbCreated = false;
    const std::optional<QString> internal = RegistryPathOf(path, m_strUserSid);
    return internal ? Walk(*internal, true, pbCreated, 0) : nullptr;
}

bool CWineRegistry::DeleteKey(QStringView path) {
    const std::optional<QString> internal = RegistryPathOf(path, m_strUserSid);
    if (!internal)
        return false;
    QStringView rest = *internal;
    while (rest.endsWith(u'\\'))
        rest.chop(1);
    const qsizetype nSlash = rest.lastIndexOf(u'\\');
    if (nSlash < 0 || ComponentCount(rest) < 2)
        return false;
    CWineRegKey* pParent = Walk(rest.left(nSlash), false, nullptr, 0);
    return pParent && pParent->DeleteSubKey(rest.mid(nSlash + 1));
}

bool CWineRegistry::LoadFile(const QString& strPath, QStringView mountPath, QString& strError) {
    CWineRegKey tree;
    SWineRegFileInfo info;
    return CWineRegReader::ReadFile(strPath, tree, info, strError) &&
           Merge(std::move(tree), info, mountPath, strPath, strError);
}

bool CWineRegistry::Merge(CWineRegKey&& tree, const SWineRegFileInfo& info, QStringView mountPath,
                          const QString& strPath, QString& strError) {
    if (info.m_eFormat != EWineRegFormat::WINE2) {
        // A .reg file: the top-level keys are root names.
        for (qsizetype i = 0; i < tree.SubKeyCount(); ++i) {
            const QString& strRoot = tree.SubKey(i)->Name();
            if (!RegistryPathOf(strRoot, m_strUserSid)) {
                strError = QStringLiteral("%1: unknown root key \"%2\"").arg(strPath, strRoot);
                return false;
            }
        }
        while (tree.SubKeyCount() > 0) {
            CWineRegKey* pSub = tree.SubKey(0);
            CWineRegKey* pTarget = CreateKey(pSub->Name());
            if (!pTarget) {
                strError = QStringLiteral("%1: %2 cannot be created").arg(strPath, pSub->Name());
                return false;
            }
            pTarget->MergeFrom(std::move(*pSub));
            tree.DeleteSubKey(pSub->Name());
        }
        return true;
    }
    if (mountPath.isEmpty() && info.m_strRelativeTo.isEmpty()) {
        strError = QStringLiteral("%1: the file does not say which key it belongs to "
                                  "(no \"All keys relative to\" line)")
                       .arg(strPath);
        return false;
    }
    const QString strMount = mountPath.isEmpty() ? info.m_strRelativeTo : mountPath.toString();
    CWineRegKey* pTarget = CreateKey(strMount);
    if (!pTarget) {
        strError = QStringLiteral("%1: its keys cannot be placed below %2").arg(strPath, strMount);
        return false;
    }
    pTarget->MergeFrom(std::move(tree));
    return true;
}

namespace {

class CRegistryImport : public IRegImportTarget {
public:
    explicit CRegistryImport(CWineRegistry& registry) : m_registry(registry) {}

    CWineRegKey* CreateKey(QStringView path, QString& strWhy) override {
        if (!RegistryPathOf(path, m_registry.UserSid())) {
            strWhy = QStringLiteral("unknown root key in \"%1\"").arg(path);
            return nullptr;
        }
        CWineRegKey* pKey = m_registry.CreateKey(path);
        if (!pKey)
            strWhy = QStringLiteral("%1 cannot be created").arg(path);
        return pKey;
    }
    bool DeleteKey(QStringView path, QString& strWhy) override {
        if (!RegistryPathOf(path, m_registry.UserSid())) {
            strWhy = QStringLiteral("unknown root key in \"%1\"").arg(path);
            return false;
        }
        QStringView below = path.mid(path.indexOf(u'\\') + 1);
        if (!path.contains(u'\\') || WithoutLeadingSlash(below).isEmpty()) {
            strWhy = QStringLiteral("a root key cannot be deleted (\"%1\")").arg(path);
            return false;
        }
        m_registry.DeleteKey(path);
        return true;
    }

private:
    CWineRegistry& m_registry;
};

} // namespace

bool CWineRegistry::ImportRegData(QByteArrayView data, QString& strError) {
    CRegistryImport target(*this);
    SWineRegFileInfo info;
    return CWineRegReader::Import(data, target, info, strError);
}

bool CWineRegistry::ImportRegFile(const QString& strPath, QString& strError) {
    QByteArray data;
    if (!CWineRegReader::ReadBytes(strPath, data, strError))
        return false;
    if (ImportRegData(data, strError))
        return true;
    strError = strPath + QStringLiteral(", ") + strError;
    return false;
}

bool CWineRegistry::LoadFolder(const QString& strDir, QStringList& arErrors) {
    const QString strBase = strDir.endsWith(QLatin1Char('/')) ? strDir : strDir + QLatin1Char('/');
    const qsizetype nErrors = arErrors.size();
    auto load = [&](const char* pName, const QString& strMount, bool bRequired) {
        const QString strPath = strBase + QLatin1String(pName);
        if (!QFileInfo::exists(strPath)) {
            if (bRequired)
                arErrors.append(QStringLiteral("%1: the file does not exist").arg(strPath));
            return;
        }
        CWineRegKey tree;
        SWineRegFileInfo info;
        QString strError;
        if (!CWineRegReader::ReadFile(strPath, tree, info, strError)) {
            arErrors.append(strError);
            return;
        }
        // The file's own root line wins, so the spelling of its root key survives.
        QString strTarget = info.m_strRelativeTo.isEmpty() ? strMount : info.m_strRelativeTo;
        if (strMount.isEmpty()) {
            // The current user is whoever user.reg belongs to.
            QStringView rel = info.m_strRelativeTo;
            if (EatPrefix(rel, u"REGISTRY\\User")) {
                rel = WithoutLeadingSlash(rel);
                if (!rel.isEmpty() && !rel.contains(u'\\'))
                    m_strUserSid = rel.toString();
            }
            if (info.m_strRelativeTo.isEmpty())
                strTarget = QStringLiteral("REGISTRY\\User\\") + m_strUserSid;
        }
        if (!Merge(std::move(tree), info, strTarget, strPath, strError))
            arErrors.append(strError);
    };
    load("system.reg", QStringLiteral("REGISTRY\\Machine"), true);
    load("user.reg", QString(), true);
    load("userdef.reg", QStringLiteral("REGISTRY\\User\\.Default"), true);
    load("users.reg", QStringLiteral("REGISTRY\\User"), false);
    return arErrors.size() == nErrors;
}

bool CWineRegistry::SaveFile(const QString& strPath, QStringView mountPath,
                             const std::function<bool(const CWineRegKey&)>& skip,
                             QString& strError) const {
    const std::optional<QString> internal = RegistryPathOf(mountPath, m_strUserSid);
    if (!internal) {
        strError = QStringLiteral("%1: unknown key %2").arg(strPath, mountPath);
        return false;
    }
    const CWineRegKey empty;
    const CWineRegKey* pBase = Walk(*internal, false, nullptr, 0);
    CWineRegWriter::SOptions options;
    // Named as the key spells itself when it exists.
    options.m_strRelativeTo =
        QStringLiteral("REGISTRY\\") + (pBase ? pBase->PathFrom() : *internal);
    options.m_skip = skip;
    return CWineRegWriter::SaveFile(strPath, pBase ? *pBase : empty, options, strError);
}

bool CWineRegistry::SaveHive(const QString& strDir, QStringView fileName,
                             QStringList& arErrors) const {
    const QString strBase = strDir.endsWith(QLatin1Char('/')) ? strDir : strDir + QLatin1Char('/');
    const CWineRegKey* pUsers = m_top.FindSubKey(USER);
    QString strMount;
    std::function<bool(const CWineRegKey&)> skip;
    if (fileName == u"system.reg") {
        strMount = QStringLiteral("REGISTRY\\Machine");
    } else if (fileName == u"user.reg") {
        strMount = QStringLiteral("REGISTRY\\User\\") + m_strUserSid;
    } else if (fileName == u"userdef.reg") {
        strMount = QStringLiteral("REGISTRY\\User\\.Default");
    } else if (fileName == u"users.reg") {
        strMount = QStringLiteral("REGISTRY\\User");
        skip = [&](const CWineRegKey& key) {
            return key.Parent() == pUsers && (EqualRegNames(key.Name(), m_strUserSid) ||
                                              EqualRegNames(key.Name(), DEFAULT_USER));
        };
    } else {
        arErrors.append(QStringLiteral("%1: not a registry file of a prefix").arg(fileName));
        return false;
    }
    QString strError;
    if (SaveFile(strBase + fileName.toString(), strMount, skip, strError))
        return true;
    arErrors.append(strError);
    return false;
}

bool CWineRegistry::SaveFolder(const QString& strDir, QStringList& arErrors) const {
    bool bOk = true;
    for (const char16_t* pszFile : {u"system.reg", u"user.reg", u"userdef.reg", u"users.reg"})
        bOk = SaveHive(strDir, QStringView(pszFile), arErrors) && bOk;
    return bOk;
}
