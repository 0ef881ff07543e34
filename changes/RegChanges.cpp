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
#include <deque>
#include <list>
#include <unordered_map>
#include <unordered_set>

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
    int nFirstOp = OP_SET_VALUE;
    int nLastOp = OP_SET_VALUE;
    // The old value of the first record and the new one of the last, as text ids of the
    // store (0 empty, NOT_SHARED: the text is read from the record again).
    uint32_t nFirstOld = 0;
    uint32_t nLastNew = 0;
    long long nChanges = 0;
    CProcessSet processes;
};

// A key of the tree while it is worked out. Names stay in the records' UTF-8 until a key or
// value is kept.
struct SNode {
    std::string_view rawName; // as the records spell it, until strName is made from it
    QString strName;
    uint32_t nPath = 0; // its path as Folded gives it, in the builder's table of them
    SNode* pParent = nullptr;
    std::vector<SNode*> arChildren;
    const SKeyEvents* pEvents = nullptr;
    struct SValue {
        std::string_view name; // as the records spell it ("(Default)" for the unnamed one)
        QString strListedName; // a value known from a delete record's listing only
        const SValueEvents* pEvents = nullptr;
    };
    std::vector<SValue> arValues;

    // Evidence, from the records about this key, its values and everything below it.
    long long nFirstOwn = AT_END, nFirstValue = AT_END, nFirstBelow = AT_END;
    long long nLastPresent = NEVER; // the last record that shows the key there
    long long nLastBelow = NEVER;   // the last record about anything in or below it
};

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
SRegChangeData ValueData(std::string_view text, QString strText) {
    SRegChangeData data;
    data.m_ePresence = EPresence::PRESENT;
    data.m_strText = std::move(strText);
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

    void Record(long long nIndex, const SRecordView& v, uint64_t nHash);
    void Records(const long long* pIndices, size_t nCount);
    uint32_t ProcessOf(const SRecordView& v);
    const QString& NameOf(SNode& node);
    // The node of a key by its folded path, made with its parents when missing; raw is the
    // same path as the records spell it.
    SNode* NodeOf(std::string_view folded, std::string_view raw);
    SNode& NewNode(SNode* pParent, std::string_view folded);
    void Gather(SNode& node);
    // A value text of a record, read once per shared text.
    SRegChangeData Data(uint32_t nTextId, std::string_view text);
    std::unique_ptr<CRegChangeKey> Resolve(SNode& node, const SContext& ctx, bool bTop);
    EPresence KeyBefore(const SNode& node, const SContext& ctx) const;
    // Appends the value to arKept when it changed.
    void ResolveValue(const SNode::SValue& value, const CRegChangeKey& key, const SContext& ctx,
                      std::vector<SRegChangeValue>& arKept);
    void Materialise(SNode& node, const CWineRegKey& listed);
    QStringList Processes(const CProcessSet& set) const;
    void Count(const CRegChangeKey& key);

    static constexpr size_t BATCH = 32;
    struct SBatched {
        long long nIndex;
        SRecordView view;
    };

    const CRecordList& m_list;
    CPathTable m_keyPaths, m_valuePaths;
    std::array<SBatched, BATCH> m_batch;
    std::array<uint64_t, BATCH> m_nHashes;
    std::vector<SKeyEvents> m_keys;
    std::vector<SValueEvents> m_values;
    std::vector<uint32_t> m_tupleProcess;
    std::unordered_map<std::string, uint32_t> m_processIds;
    std::vector<QString> m_processNames;
    SNode m_top;
    std::deque<SNode> m_nodes;        // every key below the top
    CPathTable m_nodePaths{true};     // folded path -> index in m_nodes
    std::vector<int32_t> m_parsedIds; // by text id: index in m_parsed, or -1
    std::vector<SRegChangeData> m_parsed;
    std::list<SRegKeyContents> m_listings; // parsed delete records, kept while resolving
    SRegChangeCounts m_counts;
};

uint32_t CBuilder::ProcessOf(const SRecordView& v) {
    if (v.nTuple < m_tupleProcess.size() && m_tupleProcess[v.nTuple] != NO_PROCESS)
        return m_tupleProcess[v.nTuple];
    const auto [it, bNew] =
        m_processIds.try_emplace(std::string(v.process), uint32_t(m_processNames.size()));
    if (bNew)
        m_processNames.push_back(Wtf8ToQString(v.process));
    if (v.nTuple < m_tupleProcess.size())
        m_tupleProcess[v.nTuple] = it->second;
    return it->second;
}

// The one loop over every record: only successful changes of keys and values are looked at,
// each found by its path in one hash lookup.
void CBuilder::Record(long long nIndex, const SRecordView& v, uint64_t nHash) {
    if (v.nFunType == OP_SET_VALUE || v.nFunType == OP_DELETE_VALUE) {
        const uint32_t nId = m_valuePaths.Id(v.path, nHash);
        if (nId == m_values.size())
            m_values.emplace_back();
        SValueEvents& value = m_values[nId];
        if (value.nFirst == NEVER) {
            value.nFirst = nIndex;
            value.nFirstOp = v.nFunType;
            value.nFirstOld = v.nOld;
        }
        value.nLast = nIndex;
        value.nLastOp = v.nFunType;
        value.nLastNew = v.nNew;
        ++value.nChanges;
        value.processes.Add(ProcessOf(v));
        return;
    }
    const uint32_t nId = m_keyPaths.Id(v.path, nHash);
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
}

bool IsChange(const SRecordView& v) {
    switch (v.nFunType) {
    case OP_CREATE_NEW:
    case OP_CREATE_OPEN:
    case OP_DELETE_KEY:
    case OP_SET_VALUE:
    case OP_DELETE_VALUE:
        return v.bSuccess;
    default:
        return false;
    }
}

// A group of records at a time, so that the memory each lookup needs is asked for before it
// is used: the lookups wait for memory together instead of one after another.
void CBuilder::Records(const long long* pIndices, size_t nCount) {
    size_t nChanges = 0;
    for (size_t i = 0; i < nCount; ++i) {
        const SRecordView v = m_list.View(pIndices[i]);
        if (!IsChange(v))
            continue;
        const bool bValue = v.nFunType == OP_SET_VALUE || v.nFunType == OP_DELETE_VALUE;
        const CPathTable& table = bValue ? m_valuePaths : m_keyPaths;
        m_batch[nChanges] = {pIndices[i], v};
        m_nHashes[nChanges] = CPathTable::Hash(v.path);
        table.Prefetch(m_nHashes[nChanges]);
        ++nChanges;
    }
    for (size_t i = 0; i < nChanges; ++i) {
        const SRecordView& v = m_batch[i].view;
        const bool bValue = v.nFunType == OP_SET_VALUE || v.nFunType == OP_DELETE_VALUE;
        const uint32_t nId = (bValue ? m_valuePaths : m_keyPaths).PrefetchSpelling(m_nHashes[i]);
        if (bValue && nId < m_values.size())
            __builtin_prefetch(&m_values[nId]);
        else if (!bValue && nId < m_keys.size())
            __builtin_prefetch(&m_keys[nId]);
    }
    for (size_t i = 0; i < nChanges; ++i)
        Record(m_batch[i].nIndex, m_batch[i].view, m_nHashes[i]);
}

void CBuilder::Read(const std::vector<long long>* pIndices) {
    const long long nCount = m_list.GetCount();
    std::array<long long, BATCH> arIndices;
    size_t n = 0;
    const auto add = [&](long long i) {
        arIndices[n++] = i;
        if (n == BATCH) {
            Records(arIndices.data(), n);
            n = 0;
        }
    };
    if (!pIndices) {
        for (long long i = 0; i < nCount; ++i)
            add(i);
    } else {
        long long nPrevious = NEVER;
        for (const long long i : *pIndices) {
            if (i <= nPrevious || i >= nCount)
                continue;
            add(i);
            nPrevious = i;
            ++m_counts.m_nRecords;
        }
    }
    Records(arIndices.data(), n);
    m_counts.m_nRecords = pIndices ? m_counts.m_nRecords : nCount;
}

SNode& CBuilder::NewNode(SNode* pParent, std::string_view folded) {
    SNode& node = m_nodes.emplace_back();
    node.pParent = pParent;
    pParent->arChildren.push_back(&node);
    node.nPath = m_nodePaths.Id(folded);
    return node;
}

SNode* CBuilder::NodeOf(std::string_view folded, std::string_view raw) {
    if (folded.empty())
        return &m_top;
    if (const uint32_t nId = m_nodePaths.Find(folded); nId != CPathTable::NOT_FOUND)
        return &m_nodes[nId];
    // Folding keeps every backslash, so both spellings have the same components.
    const size_t nFolded = folded.rfind('\\'), nRaw = raw.rfind('\\');
    if (nFolded == std::string_view::npos || nRaw == std::string_view::npos) {
        SNode& root = NewNode(&m_top, folded);
        root.strName = RootAbbreviation(Wtf8ToQString(raw));
        return &root;
    }
    SNode* pParent = NodeOf(folded.substr(0, nFolded), raw.substr(0, nRaw));
    SNode& node = NewNode(pParent, folded);
    node.rawName = raw.substr(nRaw + 1);
    return &node;
}

const QString& CBuilder::NameOf(SNode& node) {
    if (node.strName.isEmpty() && !node.rawName.empty())
        node.strName = Wtf8ToQString(node.rawName);
    return node.strName;
}

SRegChangeData CBuilder::Data(uint32_t nTextId, std::string_view text) {
    if (nTextId >= m_parsedIds.size())
        return ValueData(text, Wtf8ToQString(text));
    int32_t& nParsed = m_parsedIds[nTextId];
    if (nParsed < 0) {
        nParsed = int32_t(m_parsed.size());
        m_parsed.push_back(ValueData(text, m_list.Texts().Wide(nTextId)));
    }
    return m_parsed[size_t(nParsed)];
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
    for (SNode* pChild : node.arChildren) {
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
    const auto utf8 = [](const QString& str) {
        std::string s;
        AppendUtf16AsWtf8(s, str);
        return s;
    };
    for (qsizetype i = 0; i < listed.SubKeyCount(); ++i) {
        const QString& strName = listed.SubKey(i)->Name();
        const std::string strFolded =
            std::string(m_nodePaths.Spelling(node.nPath)) + '\\' + CPathTable::Upper(utf8(strName));
        if (m_nodePaths.Find(strFolded) != CPathTable::NOT_FOUND)
            continue;
        NewNode(&node, strFolded).strName = strName;
    }
    // Value names as the records write them: the unnamed one is "(Default)".
    const auto key = [](std::string_view name) {
        return CPathTable::Upper(name.empty() ? DEFAULT_VALUE_NAME : name);
    };
    std::unordered_set<std::string> names;
    for (const SNode::SValue& value : node.arValues)
        names.insert(value.pEvents ? key(value.name) : key(utf8(value.strListedName)));
    for (qsizetype i = 0; i < listed.ValueCount(); ++i) {
        const QString& strName = listed.Value(i).m_strName;
        if (names.insert(key(utf8(strName))).second)
            node.arValues.push_back({{}, strName, nullptr});
    }
}

void CBuilder::ResolveValue(const SNode::SValue& value, const CRegChangeKey& key,
                            const SContext& ctx, std::vector<SRegChangeValue>& arKept) {
    SRegChangeValue out;
    const SValueEvents* pEvents = value.pEvents;
    // The name is made only for a value that needs it: most are looked at and left out.
    bool bNamed = false;
    const auto name = [&]() -> const QString& {
        if (!bNamed && !pEvents)
            out.m_strName = value.strListedName;
        else if (!bNamed && value.name != DEFAULT_VALUE_NAME)
            out.m_strName = Wtf8ToQString(value.name);
        bNamed = true;
        return out.m_strName;
    };
    const long long nFirst = pEvents ? pEvents->nFirst : AT_END;
    if (key.m_eBefore == EPresence::ABSENT) {
        out.m_before = Absent();
    } else if (ctx.nFirstDelete < nFirst) {
        // A key was deleted before anything happened to the value: the delete record tells.
        if (!ctx.pContents || ctx.pContents->m_eState != SRegKeyContents::LISTED) {
            out.m_before.m_ePresence = EPresence::UNKNOWN;
        } else {
            const SWineRegValue* pListed = ctx.pListed ? ctx.pListed->FindValue(name()) : nullptr;
            out.m_before = pListed ? ListedData(*ctx.pContents, *ctx.pListed, *pListed) : Absent();
        }
    } else {
        const std::string_view old = pEvents->nFirstOld != CTextTable::NOT_SHARED
                                         ? m_list.Texts().Text(pEvents->nFirstOld)
                                         : m_list.View(nFirst).oldValue;
        // A set of a value that was not there shows no old data; a delete always had some.
        if (pEvents->nFirstOp == OP_SET_VALUE && old.empty())
            out.m_before = Absent();
        else
            out.m_before = Data(pEvents->nFirstOld, old);
    }
    const long long nLast = pEvents ? pEvents->nLast : NEVER;
    if (nLast > ctx.nLastDelete && pEvents->nLastOp != OP_DELETE_VALUE) {
        out.m_after = Data(pEvents->nLastNew, pEvents->nLastNew != CTextTable::NOT_SHARED
                                                  ? m_list.Texts().Text(pEvents->nLastNew)
                                                  : m_list.View(nLast).newValue);
    } else {
        // Deleted last, or its key (or one above) was deleted after it last changed.
        out.m_after = Absent();
    }
    out.m_eChange = ChangeOf(out.m_before, out.m_after);
    if (out.m_eChange == ERegChange::NONE)
        return;
    name();
    if (pEvents) {
        out.m_nEvents = pEvents->nChanges;
        out.m_arProcesses = Processes(pEvents->processes);
    }
    arKept.push_back(std::move(out));
}

QStringList CBuilder::Processes(const CProcessSet& set) const {
    QStringList ar;
    set.ForEach([&](uint32_t nId) { ar.append(m_processNames[nId]); });
    return ar;
}

// Top down: what each key was and is, and its values'; only keys with a change in them or
// below them become keys of the result (nullptr for the others).
std::unique_ptr<CRegChangeKey> CBuilder::Resolve(SNode& node, const SContext& ctx, bool bTop) {
    const SKeyEvents* pEvents = node.pEvents;
    CRegChangeKey key;
    key.m_eBefore = bTop ? EPresence::PRESENT : KeyBefore(node, ctx);

    // What the key's own first delete listed, when no key above was deleted before it.
    SContext inner = ctx;
    inner.bParentAbsent = key.m_eBefore == EPresence::ABSENT;
    const long long nOwnDelete = pEvents ? pEvents->nFirstDelete : NEVER;
    if (nOwnDelete != NEVER && nOwnDelete < ctx.nFirstDelete && !inner.bParentAbsent) {
        m_listings.push_back(ParseRegKeyContents(Wtf8ToQString(m_list.View(nOwnDelete).oldValue)));
        const SRegKeyContents& listing = m_listings.back();
        inner.nFirstDelete = nOwnDelete;
        inner.pContents = &listing;
        inner.pListed = listing.m_pKey.get();
        switch (listing.m_eState) {
        case SRegKeyContents::LISTED:
            key.m_eContents = CRegChangeKey::CONTENTS_LISTED;
            break;
        case SRegKeyContents::TOO_BIG:
            key.m_eContents = CRegChangeKey::CONTENTS_TOO_BIG;
            break;
        case SRegKeyContents::DAMAGED:
            key.m_eContents = CRegChangeKey::CONTENTS_DAMAGED;
            key.m_strContentsWhy = listing.m_strWhy;
            break;
        case SRegKeyContents::NOT_GIVEN:
            key.m_eContents = CRegChangeKey::CONTENTS_UNKNOWN;
            break;
        }
    }
    if (pEvents)
        inner.nLastDelete = std::max(inner.nLastDelete, pEvents->nLastDelete);

    const long long nGone = inner.nLastDelete;
    if (bTop || node.nLastPresent == nGone)
        key.m_eAfter = key.m_eBefore;
    else
        key.m_eAfter = node.nLastPresent > nGone ? EPresence::PRESENT : EPresence::ABSENT;
    if (key.m_eBefore == EPresence::ABSENT && key.m_eAfter == EPresence::PRESENT)
        key.m_eChange = ERegChange::CREATED;
    else if (key.m_eBefore == EPresence::PRESENT && key.m_eAfter == EPresence::ABSENT)
        key.m_eChange = ERegChange::DELETED;
    key.m_bRemadeAfterDelete =
        key.m_eBefore == EPresence::PRESENT && key.m_eAfter == EPresence::PRESENT && nGone != NEVER;

    if (inner.pListed && !inner.bParentAbsent)
        Materialise(node, *inner.pListed);
    for (const SNode::SValue& value : node.arValues)
        ResolveValue(value, key, inner, key.m_arValues);
    for (SNode* pChild : node.arChildren) {
        SContext childCtx = inner;
        childCtx.pListed = inner.pListed ? inner.pListed->FindSubKey(NameOf(*pChild)) : nullptr;
        if (std::unique_ptr<CRegChangeKey> pSub = Resolve(*pChild, childCtx, false))
            key.m_arSubKeys.push_back(std::move(pSub));
    }
    const bool bKeep = bTop || key.m_eChange != ERegChange::NONE || !key.m_arValues.empty() ||
                       !key.m_arSubKeys.empty() ||
                       (key.m_eContents != CRegChangeKey::CONTENTS_NONE &&
                        key.m_eContents != CRegChangeKey::CONTENTS_LISTED);
    if (!bKeep)
        return nullptr;

    auto pKey = std::make_unique<CRegChangeKey>(std::move(key));
    pKey->m_strName = NameOf(node);
    if (pEvents) {
        pKey->m_nEvents = pEvents->nChanges;
        pKey->m_arProcesses = Processes(pEvents->processes);
    }
    for (auto& pSub : pKey->m_arSubKeys)
        pSub->m_pParent = pKey.get();
    std::sort(pKey->m_arSubKeys.begin(), pKey->m_arSubKeys.end(), [](const auto& a, const auto& b) {
        return CompareRegNames(a->m_strName, b->m_strName) < 0;
    });
    std::sort(pKey->m_arValues.begin(), pKey->m_arValues.end(),
              [](const SRegChangeValue& a, const SRegChangeValue& b) {
                  return CompareRegNames(a.m_strName, b.m_strName) < 0;
              });
    return pKey;
}

// The paths of the kept keys, once the tree is known.
void SetPaths(CRegChangeKey& key) {
    for (auto& pSub : key.m_arSubKeys) {
        pSub->m_strPath =
            key.m_pParent ? key.m_strPath + QLatin1Char('\\') + pSub->m_strName : pSub->m_strName;
        SetPaths(*pSub);
    }
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
        NodeOf(m_keyPaths.FoldedSpelling(nId), m_keyPaths.Spelling(nId))->pEvents = &m_keys[nId];
    for (uint32_t nId = 0; nId < m_valuePaths.Count(); ++nId) {
        const std::string_view raw = m_valuePaths.Spelling(nId);
        const std::string_view folded = m_valuePaths.FoldedSpelling(nId);
        const size_t nSplit = ValuePathSplit(raw);
        if (nSplit == std::string_view::npos || nSplit == 0)
            continue; // a value without a key cannot be placed
        // The same backslash in the folded path: folding keeps every one.
        size_t nFolded = std::string_view::npos;
        for (size_t n = std::count(raw.begin(), raw.begin() + std::ptrdiff_t(nSplit), '\\') + 1;
             n > 0; --n)
            nFolded = folded.find('\\', nFolded + 1);
        NodeOf(folded.substr(0, nFolded), raw.substr(0, nSplit))
            ->arValues.push_back({raw.substr(nSplit + 1), {}, &m_values[nId]});
    }
    m_parsedIds.assign(m_list.Texts().TextCount(), -1);
    Gather(m_top);
    std::unique_ptr<CRegChangeKey> pTop = Resolve(m_top, SContext{}, true);
    SetPaths(*pTop);
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
