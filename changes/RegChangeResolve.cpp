// The tree of CRegChangeBuilder: keys and values from the tallies, what each was before the
// first record and is after the last, and what is kept.
#include "changes/RegChangeBuilder.h"

#include "changes/ValuePath.h"
#include "driver/DriverEvent.h"
#include "store/Wtf8.h"

#include <algorithm>
#include <unordered_set>

namespace {

using SNode = CRegChangeBuilder::SNode;

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

// The paths of the kept keys, once the tree is known.
void SetPaths(CRegChangeKey& key) {
    for (auto& pSub : key.m_arSubKeys) {
        pSub->m_strPath =
            key.m_pParent ? key.m_strPath + QLatin1Char('\\') + pSub->m_strName : pSub->m_strName;
        SetPaths(*pSub);
    }
}

} // namespace

QString CRegChangeBuilder::RootAbbreviation(const QString& strRoot) {
    for (const SRootKeyName& root : g_RootKeyNames) {
        if (strRoot.compare(QLatin1String(root.full.data(), qsizetype(root.full.size())),
                            Qt::CaseInsensitive) == 0 ||
            strRoot.compare(QLatin1String(root.abbrev.data(), qsizetype(root.abbrev.size())),
                            Qt::CaseInsensitive) == 0)
            return QLatin1String(root.abbrev.data(), qsizetype(root.abbrev.size()));
    }
    return strRoot;
}

SNode& CRegChangeBuilder::NewNode(SNode* pParent, std::string_view folded) {
    SNode& node = m_nodes.emplace_back();
    node.pParent = pParent;
    pParent->arChildren.push_back(&node);
    node.nPath = m_nodePaths.Id(folded);
    return node;
}

SNode* CRegChangeBuilder::NodeOf(std::string_view folded, std::string_view raw) {
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

const QString& CRegChangeBuilder::NameOf(SNode& node) {
    if (node.strName.isEmpty() && !node.rawName.empty())
        node.strName = Wtf8ToQString(node.rawName);
    return node.strName;
}

SRegChangeData CRegChangeBuilder::Data(uint32_t nTextId, std::string_view text) {
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
void CRegChangeBuilder::Gather(SNode& node) {
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

EPresence CRegChangeBuilder::KeyBefore(const SNode& node, const SContext& ctx) const {
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

void CRegChangeBuilder::Materialise(SNode& node, const CWineRegKey& listed) {
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

void CRegChangeBuilder::ResolveValue(const SNode::SValue& value, const CRegChangeKey& key,
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

QStringList CRegChangeBuilder::Processes(const CProcessSet& set) const {
    QStringList ar;
    set.ForEach([&](uint32_t nId) { ar.append(m_processNames[nId]); });
    return ar;
}

// Top down: what each key was and is, and its values'; only keys with a change in them or
// below them become keys of the result (nullptr for the others).
std::unique_ptr<CRegChangeKey> CRegChangeBuilder::Resolve(SNode& node, const SContext& ctx,
                                                          bool bTop) {
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

void CRegChangeBuilder::Count(const CRegChangeKey& key) {
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

std::unique_ptr<CRegChanges> CRegChangeBuilder::Finish() {
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
