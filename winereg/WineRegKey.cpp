#include "winereg/WineRegKey.h"

#include <algorithm>

namespace {

char16_t UpperUnit(char16_t c) {
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
    return QChar(c).toUpper().unicode();
}

// Calls f for each non-empty component of a backslash-separated path; stops when f returns false.
template <class F> bool ForEachComponent(QStringView path, F f) {
    qsizetype nStart = 0;
    while (nStart <= path.size()) {
        qsizetype nEnd = path.indexOf(u'\\', nStart);
        if (nEnd < 0)
            nEnd = path.size();
        if (nEnd > nStart && !f(path.mid(nStart, nEnd - nStart)))
            return false;
        nStart = nEnd + 1;
    }
    return true;
}

} // namespace

int CompareRegNames(QStringView a, QStringView b) {
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ca = UpperUnit(a[i].unicode()), cb = UpperUnit(b[i].unicode());
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

CWineRegKey::CWineRegKey(QString strName) : m_strName(std::move(strName)) {}

CWineRegKey::~CWineRegKey() = default;

QString CWineRegKey::PathFrom(const CWineRegKey* pTop) const {
    std::vector<const CWineRegKey*> arChain;
    for (const CWineRegKey* p = this; p && p != pTop && p->m_pParent; p = p->m_pParent)
        arChain.push_back(p);
    QString str;
    for (auto it = arChain.rbegin(); it != arChain.rend(); ++it) {
        if (!str.isEmpty())
            str += QLatin1Char('\\');
        str += (*it)->m_strName;
    }
    return str;
}

std::vector<std::unique_ptr<CWineRegKey>>::const_iterator
CWineRegKey::LowerKey(QStringView name) const {
    return std::lower_bound(m_arSubKeys.begin(), m_arSubKeys.end(), name,
                            [](const std::unique_ptr<CWineRegKey>& p, QStringView n) {
                                return CompareRegNames(p->m_strName, n) < 0;
                            });
}

std::vector<SWineRegValue>::const_iterator CWineRegKey::LowerValue(QStringView name) const {
    return std::lower_bound(
        m_arValues.begin(), m_arValues.end(), name,
        [](const SWineRegValue& v, QStringView n) { return CompareRegNames(v.m_strName, n) < 0; });
}

CWineRegKey* CWineRegKey::FindSubKey(QStringView name) const {
    const auto it = LowerKey(name);
    return it != m_arSubKeys.end() && EqualRegNames((*it)->m_strName, name) ? it->get() : nullptr;
}

qsizetype CWineRegKey::IndexOfSubKey(QStringView name) const {
    const auto it = LowerKey(name);
    return it != m_arSubKeys.end() && EqualRegNames((*it)->m_strName, name)
               ? qsizetype(it - m_arSubKeys.begin())
               : -1;
}

CWineRegKey* CWineRegKey::FindKey(QStringView path) const {
    const CWineRegKey* pKey = this;
    ForEachComponent(path, [&](QStringView name) {
        pKey = pKey->FindSubKey(name);
        return pKey != nullptr;
    });
    return const_cast<CWineRegKey*>(pKey);
}

CWineRegKey* CWineRegKey::CreateSubKey(QStringView name, bool* pbCreated) {
    if (pbCreated)
        *pbCreated = false;
    if (name.isEmpty())
        return nullptr;
    const auto it = LowerKey(name);
    if (it != m_arSubKeys.end() && EqualRegNames((*it)->m_strName, name))
        return it->get();
    auto pKey = std::make_unique<CWineRegKey>(name.toString());
    pKey->m_pParent = this;
    if (pbCreated)
        *pbCreated = true;
    return m_arSubKeys.insert(it, std::move(pKey))->get();
}

CWineRegKey* CWineRegKey::CreateKey(QStringView path, bool* pbCreated) {
    if (pbCreated)
        *pbCreated = false;
    int nDepth = 0;
    for (const CWineRegKey* p = this; p->m_pParent; p = p->m_pParent)
        ++nDepth;
    bool bTooDeep = false;
    ForEachComponent(path, [&](QStringView) {
        bTooDeep = ++nDepth > MAX_DEPTH;
        return !bTooDeep;
    });
    if (bTooDeep)
        return nullptr;
    CWineRegKey* pKey = this;
    ForEachComponent(path, [&](QStringView name) {
        bool bNew = false;
        pKey = pKey->CreateSubKey(name, &bNew);
        if (bNew && pbCreated)
            *pbCreated = true;
        return true;
    });
    return pKey;
}

bool CWineRegKey::DeleteSubKey(QStringView name) {
    const auto it = LowerKey(name);
    if (it == m_arSubKeys.end() || !EqualRegNames((*it)->m_strName, name))
        return false;
    m_arSubKeys.erase(it);
    return true;
}

const SWineRegValue* CWineRegKey::FindValue(QStringView name) const {
    const auto it = LowerValue(name);
    return it != m_arValues.end() && EqualRegNames(it->m_strName, name) ? &*it : nullptr;
}

std::optional<SWineRegValue> CWineRegKey::SetValue(SWineRegValue value) {
    const auto it = LowerValue(value.m_strName);
    if (it != m_arValues.end() && EqualRegNames(it->m_strName, value.m_strName)) {
        auto itMutable = m_arValues.begin() + (it - m_arValues.cbegin());
        std::optional<SWineRegValue> old = std::move(*itMutable);
        *itMutable = std::move(value);
        return old;
    }
    m_arValues.insert(it, std::move(value));
    return std::nullopt;
}

std::optional<SWineRegValue> CWineRegKey::DeleteValue(QStringView name) {
    const auto it = LowerValue(name);
    if (it == m_arValues.end() || !EqualRegNames(it->m_strName, name))
        return std::nullopt;
    std::optional<SWineRegValue> old = std::move(m_arValues[size_t(it - m_arValues.cbegin())]);
    m_arValues.erase(it);
    return old;
}

void CWineRegKey::MergeFrom(CWineRegKey&& other) {
    if (other.m_nModified)
        m_nModified = other.m_nModified;
    if (other.m_class)
        m_class = std::move(other.m_class);
    m_bLink = m_bLink || other.m_bLink;
    for (SWineRegValue& value : other.m_arValues)
        SetValue(std::move(value));
    other.m_arValues.clear();
    for (std::unique_ptr<CWineRegKey>& pSub : other.m_arSubKeys) {
        const auto it = LowerKey(pSub->m_strName);
        if (it != m_arSubKeys.end() && EqualRegNames((*it)->m_strName, pSub->m_strName)) {
            (*it)->MergeFrom(std::move(*pSub));
        } else {
            pSub->m_pParent = this;
            m_arSubKeys.insert(it, std::move(pSub));
        }
    }
    other.m_arSubKeys.clear();
}

qsizetype CWineRegKey::CountKeys() const {
    qsizetype n = SubKeyCount();
    for (const auto& pSub : m_arSubKeys)
        n += pSub->CountKeys();
    return n;
}
