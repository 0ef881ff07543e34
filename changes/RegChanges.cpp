#include "changes/RegChanges.h"

#include "changes/PathTable.h"
#include "changes/ValuePath.h"
#include "driver/DriverEvent.h"
#include "store/HivewatchDoc.h"
#include "store/RecordList.h"
#include "store/RecordLock.h"
#include "store/Wtf8.h"
#include "winereg/RegKeyContents.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <climits>
#include <list>
#include <unordered_map>

namespace {

// Record indices order the events; these stand for "never" and "not before the end".
constexpr long long NEVER = -1;
constexpr long long AT_END = LLONG_MAX;
constexpr uint32_t NO_PROCESS = 0xFFFFFFFFu;

// The processes that changed something, in the order they first did; a few kept inline.
class CProcessSet {
public:
    void Add(uint32_t nId) {
        for (uint8_t i = 0; i < m_nInline; ++i)
            if (m_arInline[i] == nId)
                return;
        if (m_nInline < m_arInline.size()) {
            m_arInline[m_nInline++] = nId;
            return;
        }
        if (!m_pMore)
            m_pMore = std::make_unique<std::vector<uint32_t>>();
        if (std::find(m_pMore->begin(), m_pMore->end(), nId) == m_pMore->end())
            m_pMore->push_back(nId);
    }
    template <class F> void ForEach(F f) const {
        for (uint8_t i = 0; i < m_nInline; ++i)
            f(m_arInline[i]);
        if (m_pMore)
            for (uint32_t n : *m_pMore)
                f(n);
    }

private:
    std::array<uint32_t, 3> m_arInline{};
    uint8_t m_nInline = 0;
    std::unique_ptr<std::vector<uint32_t>> m_pMore;
};

struct SKeyEvents {
    long long nFirst = NEVER;
    int nFirstOp = OP_CREATE_OPEN;
    long long nLastCreate = NEVER; // new or opened: the key is there
    long long nFirstDelete = NEVER;
    long long nLastDelete = NEVER;
    long long nChanges = 0;
    CProcessSet processes;
};

struct SValueEvents {
    long long nFirst = NEVER;
    long long nLast = NEVER;
    int nLastOp = OP_SET_VALUE;
    long long nChanges = 0;
    CProcessSet processes;
};

// A key of the tree while it is worked out.
struct SNode {
    QString strName;
    SNode* pParent = nullptr;
    std::vector<std::unique_ptr<SNode>> arChildren;
    QHash<QString, SNode*> children; // by upper-case name
    const SKeyEvents* pEvents = nullptr;
    struct SValue {
        QString strName;
        const SValueEvents* pEvents = nullptr;
    };
    std::vector<SValue> arValues;
    QHash<QString, size_t> values;

    // Evidence, from the records about this key, its values and everything below it.
    long long nFirstOwn = AT_END, nFirstValue = AT_END, nFirstBelow = AT_END;
    long long nLastPresent = NEVER; // the last record that shows the key there
    long long nLastBelow = NEVER;   // the last record about anything in or below it
};

QString UpperName(const QString& str) {
    QString strUpper = str;
    for (QChar& c : strUpper) {
        const char16_t u = c.unicode();
        c = u < 0x80 ? QChar(u >= u'a' && u <= u'z' ? char16_t(u - 32) : u) : c.toUpper();
    }
    return strUpper;
}

// The root of a path as the records abbreviate it ("HKEY_CURRENT_USER" -> "HKCU").
QString RootAbbreviation(const QString& strRoot) {
    for (const SRootKeyName& root : g_RootKeyNames) {
        if (strRoot.compare(QLatin1String(root.full.data(), qsizetype(root.full.size())),
                            Qt::CaseInsensitive) == 0 ||
            strRoot.compare(QLatin1String(root.abbrev.data(), qsizetype(root.abbrev.size())),
                            Qt::CaseInsensitive) == 0)
            return QLatin1String(root.abbrev.data(), qsizetype(root.abbrev.size()));
    }
    return strRoot;
}

// A value text of a record: exact, cut or unreadable, with the data when exact.
SRegChangeData ValueData(std::string_view text) {
    SRegChangeData data;
    data.m_ePresence = EPresence::PRESENT;
    data.m_strText = Wtf8ToQString(text);
    if (text.empty()) {
        data.m_eKnown = ERegTextData::UNREADABLE;
        return data;
    }
    data.m_eKnown = RegValueFromText(data.m_strText, data.m_nType, data.m_data);
    // The driver cuts every field at MAX_FIELD_TEXT bytes, without a mark; a text that long
    // may have been cut (a character cut in two reads as one replacement character).
    if (data.m_eKnown == ERegTextData::EXACT && text.size() + 3 >= MAX_FIELD_TEXT)
        data.m_eKnown = ERegTextData::CUT;
    if (data.m_eKnown != ERegTextData::EXACT)
        data.m_data.clear();
    return data;
}

SRegChangeData Absent() {
    SRegChangeData data;
    data.m_ePresence = EPresence::ABSENT;
    return data;
}

// A value as a delete record listed it.
SRegChangeData ListedData(const SRegKeyContents& contents, const CWineRegKey& key,
                          const SWineRegValue& value) {
    SRegChangeData data;
    data.m_ePresence = EPresence::PRESENT;
    data.m_nType = value.m_nType;
    if (contents.IsCut(key, value.m_strName)) {
        data.m_eKnown = ERegTextData::CUT;
        data.m_strText = RegTypeName(value.m_nType) + QStringLiteral(": ...");
    } else {
        data.m_eKnown = ERegTextData::EXACT;
        data.m_data = value.m_data;
        data.m_strText = RegValueText(value.m_nType, value.m_data);
    }
    return data;
}

bool SameData(const SRegChangeData& a, const SRegChangeData& b) {
    if (a.IsExact() && b.IsExact())
        return a.m_nType == b.m_nType && a.m_data == b.m_data;
    return !a.m_strText.isEmpty() && a.m_strText == b.m_strText;
}

ERegChange ChangeOf(const SRegChangeData& before, const SRegChangeData& after) {
    const bool bBefore = before.m_ePresence == EPresence::PRESENT;
    const bool bAfter = after.m_ePresence == EPresence::PRESENT;
    if (bAfter && !bBefore)
        return ERegChange::CREATED;
    if (bBefore && !bAfter)
        return after.m_ePresence == EPresence::ABSENT ? ERegChange::DELETED : ERegChange::NONE;
    if (bBefore && bAfter && !SameData(before, after))
        return ERegChange::CHANGED;
    return ERegChange::NONE;
}

class CBuilder {
public:
    explicit CBuilder(const CRecordList& list) : m_list(list) {
        m_tupleProcess.assign(list.Texts().TupleCount(), NO_PROCESS);
    }

    void Read(const std::vector<long long>* pIndices);
    std::unique_ptr<CRegChanges> Finish();

private:
    struct SContext {
        bool bParentAbsent = false;
        long long nFirstDelete = AT_END; // the first delete of a key above, or of this one
        const SRegKeyContents* pContents = nullptr; // what that delete record listed
        const CWineRegKey* pListed = nullptr;       // this key in the listing, if it is there
        long long nLastDelete = NEVER;
    };

    void Record(long long nIndex);
    uint32_t ProcessOf(const SRecordView& v);
    SNode* Insert(const QString& strPath);
    void AddValue(SNode* pKey, const QString& strName, const SValueEvents* pEvents);
    void Gather(SNode& node);
    std::unique_ptr<CRegChangeKey> Resolve(SNode& node, const SContext& ctx,
                                           CRegChangeKey* pParent);
    EPresence KeyBefore(const SNode& node, const SContext& ctx) const;
    void ResolveValue(const SNode::SValue& value, const CRegChangeKey& key, const SContext& ctx,
                      SRegChangeValue& out) const;
    void Materialise(SNode& node, const CWineRegKey& listed);
    QStringList Processes(const CProcessSet& set) const;
    void Count(const CRegChangeKey& key);

    const CRecordList& m_list;
    CPathTable m_keyPaths, m_valuePaths;
    std::vector<SKeyEvents> m_keys;
    std::vector<SValueEvents> m_values;
    std::vector<uint32_t> m_tupleProcess;
    std::unordered_map<std::string, uint32_t> m_processIds;
    std::vector<std::string> m_processNames;
    SNode m_top;
    std::list<SRegKeyContents> m_listings; // parsed delete records, kept while resolving
    SRegChangeCounts m_counts;
};

uint32_t CBuilder::ProcessOf(const SRecordView& v) {
    if (v.nTuple < m_tupleProcess.size() && m_tupleProcess[v.nTuple] != NO_PROCESS)
        return m_tupleProcess[v.nTuple];
    const auto [it, bNew] =
        m_processIds.try_emplace(std::string(v.process), uint32_t(m_processNames.size()));
    if (bNew)
        m_processNames.emplace_back(v.process);
    if (v.nTuple < m_tupleProcess.size())
        m_tupleProcess[v.nTuple] = it->second;
    return it->second;
}

// The one loop over every record: only successful changes of keys and values are looked at,
// each found by its path in one hash lookup.
void CBuilder::Record(long long nIndex) {
    const SRecordView v = m_list.View(nIndex);
    ++m_counts.m_nRecords;
    if (!v.bSuccess)
        return;
    switch (v.nFunType) {
    case OP_CREATE_NEW:
    case OP_CREATE_OPEN:
    case OP_DELETE_KEY: {
        const uint32_t nId = m_keyPaths.Id(v.path);
        if (nId == m_keys.size())
            m_keys.emplace_back();
        SKeyEvents& key = m_keys[nId];
        if (key.nFirst == NEVER) {
            key.nFirst = nIndex;
            key.nFirstOp = v.nFunType;
        }
        if (v.nFunType == OP_DELETE_KEY) {
            if (key.nFirstDelete == NEVER)
                key.nFirstDelete = nIndex;
            key.nLastDelete = nIndex;
        } else {
            key.nLastCreate = nIndex;
        }
        if (v.nFunType != OP_CREATE_OPEN) {
            ++key.nChanges;
            key.processes.Add(ProcessOf(v));
        }
        break;
    }
    case OP_SET_VALUE:
    case OP_DELETE_VALUE: {
        const uint32_t nId = m_valuePaths.Id(v.path);
        if (nId == m_values.size())
            m_values.emplace_back();
        SValueEvents& value = m_values[nId];
        if (value.nFirst == NEVER)
            value.nFirst = nIndex;
        value.nLast = nIndex;
        value.nLastOp = v.nFunType;
        ++value.nChanges;
        value.processes.Add(ProcessOf(v));
        break;
    }
    default:
        break;
    }
}

void CBuilder::Read(const std::vector<long long>* pIndices) {
    const long long nCount = m_list.GetCount();
    if (!pIndices) {
        for (long long i = 0; i < nCount; ++i)
            Record(i);
        return;
    }
    long long nPrevious = NEVER;
    for (const long long i : *pIndices) {
        if (i <= nPrevious || i >= nCount)
            continue;
        Record(i);
        nPrevious = i;
    }
}

SNode* CBuilder::Insert(const QString& strPath) {
    SNode* pNode = &m_top;
    bool bRoot = true;
    for (const QStringView part : QStringView(strPath).split(u'\\', Qt::SkipEmptyParts)) {
        const QString strName = bRoot ? RootAbbreviation(part.toString()) : part.toString();
        bRoot = false;
        const QString strUpper = UpperName(strName);
        SNode*& pChild = pNode->children[strUpper];
        if (!pChild) {
            auto pNew = std::make_unique<SNode>();
            pNew->strName = strName;
            pNew->pParent = pNode;
            pChild = pNew.get();
            pNode->arChildren.push_back(std::move(pNew));
        }
        pNode = pChild;
    }
    return pNode;
}

void CBuilder::AddValue(SNode* pKey, const QString& strName, const SValueEvents* pEvents) {
    const QString strUpper = UpperName(strName);
    if (!pKey->values.contains(strUpper)) {
        pKey->values.insert(strUpper, pKey->arValues.size());
        pKey->arValues.push_back({strName, pEvents});
    }
}

// Bottom up: when each key shows up first and last in the records, itself or below it.
void CBuilder::Gather(SNode& node) {
    if (node.pEvents) {
        node.nFirstOwn = node.pEvents->nFirst;
        node.nLastPresent = node.pEvents->nLastCreate;
        node.nLastBelow = std::max(node.pEvents->nLastCreate, node.pEvents->nLastDelete);
    }
    for (const SNode::SValue& value : node.arValues) {
        if (!value.pEvents)
            continue;
        node.nFirstValue = std::min(node.nFirstValue, value.pEvents->nFirst);
        node.nLastPresent = std::max(node.nLastPresent, value.pEvents->nLast);
        node.nLastBelow = std::max(node.nLastBelow, value.pEvents->nLast);
    }
    for (auto& pChild : node.arChildren) {
        Gather(*pChild);
        node.nFirstBelow = std::min(
            {node.nFirstBelow, pChild->nFirstOwn, pChild->nFirstValue, pChild->nFirstBelow});
        node.nLastPresent = std::max(node.nLastPresent, pChild->nLastBelow);
        node.nLastBelow = std::max(node.nLastBelow, pChild->nLastBelow);
    }
}

EPresence CBuilder::KeyBefore(const SNode& node, const SContext& ctx) const {
    if (ctx.bParentAbsent)
        return EPresence::ABSENT;
    const long long nFirst = std::min({node.nFirstOwn, node.nFirstValue, node.nFirstBelow});
    if (ctx.nFirstDelete < nFirst) {
        if (!ctx.pContents || ctx.pContents->m_eState != SRegKeyContents::LISTED)
            return EPresence::UNKNOWN;
        return ctx.pListed ? EPresence::PRESENT : EPresence::ABSENT;
    }
    if (nFirst == node.nFirstOwn && nFirst != AT_END)
        return node.pEvents->nFirstOp == OP_CREATE_NEW ? EPresence::ABSENT : EPresence::PRESENT;
    // Its values changed, or keys below it were made or deleted: a key is made only where its
    // parent is, so it was there.
    return nFirst != AT_END ? EPresence::PRESENT : EPresence::UNKNOWN;
}

void CBuilder::Materialise(SNode& node, const CWineRegKey& listed) {
    for (qsizetype i = 0; i < listed.SubKeyCount(); ++i) {
        const QString& strName = listed.SubKey(i)->Name();
        const QString strUpper = UpperName(strName);
        if (node.children.contains(strUpper))
            continue;
        auto pNew = std::make_unique<SNode>();
        pNew->strName = strName;
        pNew->pParent = &node;
        node.children.insert(strUpper, pNew.get());
        node.arChildren.push_back(std::move(pNew));
    }
    for (qsizetype i = 0; i < listed.ValueCount(); ++i)
        AddValue(&node, listed.Value(i).m_strName, nullptr);
}

void CBuilder::ResolveValue(const SNode::SValue& value, const CRegChangeKey& key,
                            const SContext& ctx, SRegChangeValue& out) const {
    out.m_strName = value.strName;
    const SValueEvents* pEvents = value.pEvents;
    const long long nFirst = pEvents ? pEvents->nFirst : AT_END;
    if (key.m_eBefore == EPresence::ABSENT) {
        out.m_before = Absent();
    } else if (ctx.nFirstDelete < nFirst) {
        // A key was deleted before anything happened to the value: the delete record tells.
        if (!ctx.pContents || ctx.pContents->m_eState != SRegKeyContents::LISTED) {
            out.m_before.m_ePresence = EPresence::UNKNOWN;
        } else {
            const SWineRegValue* pListed =
                ctx.pListed ? ctx.pListed->FindValue(value.strName) : nullptr;
            out.m_before = pListed ? ListedData(*ctx.pContents, *ctx.pListed, *pListed) : Absent();
        }
    } else {
        const SRecordView first = m_list.View(nFirst);
        // A set of a value that was not there shows no old data; a delete always had some.
        if (first.nFunType == OP_SET_VALUE && first.oldValue.empty())
            out.m_before = Absent();
        else
            out.m_before = ValueData(first.oldValue);
    }
    const long long nLast = pEvents ? pEvents->nLast : NEVER;
    if (nLast > ctx.nLastDelete) {
        if (pEvents->nLastOp == OP_DELETE_VALUE)
            out.m_after = Absent();
        else
            out.m_after = ValueData(m_list.View(nLast).newValue);
    } else {
        out.m_after = Absent(); // its key, or one above, was deleted after it last changed
    }
    out.m_eChange = ChangeOf(out.m_before, out.m_after);
    if (pEvents) {
        out.m_nEvents = pEvents->nChanges;
        out.m_arProcesses = Processes(pEvents->processes);
    }
}

QStringList CBuilder::Processes(const CProcessSet& set) const {
    QStringList ar;
    set.ForEach([&](uint32_t nId) { ar.append(Wtf8ToQString(m_processNames[nId])); });
    return ar;
}

std::unique_ptr<CRegChangeKey> CBuilder::Resolve(SNode& node, const SContext& ctx,
                                                 CRegChangeKey* pParent) {
    auto pKey = std::make_unique<CRegChangeKey>();
    pKey->m_strName = node.strName;
    pKey->m_pParent = pParent;
    if (pParent)
        pKey->m_strPath = pParent->m_strPath.isEmpty()
                              ? node.strName
                              : pParent->m_strPath + QLatin1Char('\\') + node.strName;
    const SKeyEvents* pEvents = node.pEvents;
    pKey->m_eBefore = pParent ? KeyBefore(node, ctx) : EPresence::PRESENT;

    // What the key's own first delete listed, when no key above was deleted before it.
    SContext inner = ctx;
    inner.bParentAbsent = pKey->m_eBefore == EPresence::ABSENT;
    const long long nOwnDelete = pEvents ? pEvents->nFirstDelete : NEVER;
    if (nOwnDelete != NEVER && nOwnDelete < ctx.nFirstDelete && !inner.bParentAbsent) {
        m_listings.push_back(ParseRegKeyContents(Wtf8ToQString(m_list.View(nOwnDelete).oldValue)));
        const SRegKeyContents& listing = m_listings.back();
        inner.nFirstDelete = nOwnDelete;
        inner.pContents = &listing;
        inner.pListed = listing.m_pKey.get();
        switch (listing.m_eState) {
        case SRegKeyContents::LISTED:
            pKey->m_eContents = CRegChangeKey::CONTENTS_LISTED;
            break;
        case SRegKeyContents::TOO_BIG:
            pKey->m_eContents = CRegChangeKey::CONTENTS_TOO_BIG;
            break;
        case SRegKeyContents::DAMAGED:
            pKey->m_eContents = CRegChangeKey::CONTENTS_DAMAGED;
            pKey->m_strContentsWhy = listing.m_strWhy;
            break;
        case SRegKeyContents::NOT_GIVEN:
            pKey->m_eContents = CRegChangeKey::CONTENTS_UNKNOWN;
            break;
        }
    }
    if (pEvents)
        inner.nLastDelete = std::max(inner.nLastDelete, pEvents->nLastDelete);

    const long long nGone = inner.nLastDelete;
    if (!pParent || node.nLastPresent == nGone)
        pKey->m_eAfter = pKey->m_eBefore;
    else
        pKey->m_eAfter = node.nLastPresent > nGone ? EPresence::PRESENT : EPresence::ABSENT;
    if (pKey->m_eBefore == EPresence::ABSENT && pKey->m_eAfter == EPresence::PRESENT)
        pKey->m_eChange = ERegChange::CREATED;
    else if (pKey->m_eBefore == EPresence::PRESENT && pKey->m_eAfter == EPresence::ABSENT)
        pKey->m_eChange = ERegChange::DELETED;
    pKey->m_bRemadeAfterDelete = pKey->m_eBefore == EPresence::PRESENT &&
                                 pKey->m_eAfter == EPresence::PRESENT && nGone != NEVER;
    if (pEvents) {
        pKey->m_nEvents = pEvents->nChanges;
        pKey->m_arProcesses = Processes(pEvents->processes);
    }
    if (inner.pListed && !inner.bParentAbsent)
        Materialise(node, *inner.pListed);
    for (const SNode::SValue& value : node.arValues) {
        SRegChangeValue out;
        ResolveValue(value, *pKey, inner, out);
        if (out.m_eChange != ERegChange::NONE)
            pKey->m_arValues.push_back(std::move(out));
    }
    for (auto& pChild : node.arChildren) {
        SContext childCtx = inner;
        childCtx.pListed = inner.pListed ? inner.pListed->FindSubKey(pChild->strName) : nullptr;
        std::unique_ptr<CRegChangeKey> pSub = Resolve(*pChild, childCtx, pKey.get());
        const bool bKeep = pSub->m_eChange != ERegChange::NONE || !pSub->m_arValues.empty() ||
                           !pSub->m_arSubKeys.empty() ||
                           (pSub->m_eContents != CRegChangeKey::CONTENTS_NONE &&
                            pSub->m_eContents != CRegChangeKey::CONTENTS_LISTED);
        if (bKeep)
            pKey->m_arSubKeys.push_back(std::move(pSub));
    }
    std::sort(pKey->m_arSubKeys.begin(), pKey->m_arSubKeys.end(), [](const auto& a, const auto& b) {
        return CompareRegNames(a->m_strName, b->m_strName) < 0;
    });
    std::sort(pKey->m_arValues.begin(), pKey->m_arValues.end(),
              [](const SRegChangeValue& a, const SRegChangeValue& b) {
                  return CompareRegNames(a.m_strName, b.m_strName) < 0;
              });
    return pKey;
}

void CBuilder::Count(const CRegChangeKey& key) {
    if (key.m_eChange == ERegChange::CREATED)
        ++m_counts.m_nKeysCreated;
    else if (key.m_eChange == ERegChange::DELETED)
        ++m_counts.m_nKeysDeleted;
    if (key.m_eContents == CRegChangeKey::CONTENTS_UNKNOWN ||
        key.m_eContents == CRegChangeKey::CONTENTS_TOO_BIG ||
        key.m_eContents == CRegChangeKey::CONTENTS_DAMAGED)
        ++m_counts.m_nUnknownContents;
    for (const SRegChangeValue& value : key.m_arValues) {
        switch (value.m_eChange) {
        case ERegChange::CREATED:
            ++m_counts.m_nValuesCreated;
            break;
        case ERegChange::CHANGED:
            ++m_counts.m_nValuesChanged;
            break;
        case ERegChange::DELETED:
            ++m_counts.m_nValuesDeleted;
            break;
        case ERegChange::NONE:
            break;
        }
        if (value.m_before.m_ePresence != EPresence::ABSENT && !value.m_before.IsExact())
            ++m_counts.m_nUndoUnknown;
        if (value.m_after.m_ePresence == EPresence::PRESENT && !value.m_after.IsExact())
            ++m_counts.m_nRedoUnknown;
    }
    for (const auto& pSub : key.m_arSubKeys)
        Count(*pSub);
}

std::unique_ptr<CRegChanges> CBuilder::Finish() {
    for (uint32_t nId = 0; nId < m_keyPaths.Count(); ++nId)
        Insert(Wtf8ToQString(m_keyPaths.Spelling(nId)))->pEvents = &m_keys[nId];
    for (uint32_t nId = 0; nId < m_valuePaths.Count(); ++nId) {
        const QString strPath = Wtf8ToQString(m_valuePaths.Spelling(nId));
        const qsizetype nSplit = ValuePathSplit(strPath);
        if (nSplit <= 0)
            continue; // a value without a key cannot be placed
        QString strName = strPath.mid(nSplit + 1);
        if (strName ==
            QLatin1String(DEFAULT_VALUE_NAME.data(), qsizetype(DEFAULT_VALUE_NAME.size())))
            strName.clear();
        AddValue(Insert(strPath.left(nSplit)), strName, &m_values[nId]);
    }
    Gather(m_top);
    std::unique_ptr<CRegChangeKey> pTop = Resolve(m_top, SContext{}, nullptr);
    Count(*pTop);
    m_listings.clear();
    return std::make_unique<CRegChanges>(std::move(pTop), m_counts);
}

const CRegChangeKey* FindIn(const CRegChangeKey& key, QStringView path) {
    const qsizetype nSlash = path.indexOf(u'\\');
    const QStringView name = nSlash < 0 ? path : path.left(nSlash);
    for (const auto& pSub : key.m_arSubKeys) {
        const bool bRoot = !key.m_pParent;
        if (EqualRegNames(pSub->m_strName,
                          bRoot ? QStringView(RootAbbreviation(name.toString())) : name))
            return nSlash < 0 ? pSub.get() : FindIn(*pSub, path.mid(nSlash + 1));
    }
    return nullptr;
}

} // namespace

std::unique_ptr<CRegChanges> CRegChanges::FromRecords(const CRecordList& list,
                                                      const std::vector<long long>* pIndices) {
    CBuilder builder(list);
    builder.Read(pIndices);
    return builder.Finish();
}

std::unique_ptr<CRegChanges> CRegChanges::FromDocument(const CHivewatchDoc& doc,
                                                       const std::vector<long long>* pIndices) {
    CAutoLock lock(&g_RecordLock);
    return FromRecords(doc.m_listRecords, pIndices);
}

const CRegChangeKey* CRegChanges::FindKey(const QString& strPath) const {
    return strPath.isEmpty() ? m_pTop.get() : FindIn(*m_pTop, strPath);
}
