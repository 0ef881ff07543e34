#include "changes/RegChanges.h"

#include "changes/RegChangeBuilder.h"
#include "store/HivewatchDoc.h"
#include "store/RecordLock.h"
#include "store/Wtf8.h"

namespace {

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

const CRegChangeKey* FindIn(const CRegChangeKey& key, QStringView path) {
    const qsizetype nSlash = path.indexOf(u'\\');
    const QStringView name = nSlash < 0 ? path : path.left(nSlash);
    for (const auto& pSub : key.m_arSubKeys) {
        const bool bRoot = !key.m_pParent;
        if (EqualRegNames(pSub->m_strName,
                          bRoot ? QStringView(CRegChangeBuilder::RootAbbreviation(name.toString()))
                                : name))
            return nSlash < 0 ? pSub.get() : FindIn(*pSub, path.mid(nSlash + 1));
    }
    return nullptr;
}

} // namespace

uint32_t CRegChangeBuilder::ProcessOf(const SRecordView& v) {
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
void CRegChangeBuilder::Record(long long nIndex, const SRecordView& v, uint64_t nHash) {
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

// A group of records at a time, so that the memory each lookup needs is asked for before it
// is used: the lookups wait for memory together instead of one after another.
void CRegChangeBuilder::Records(const long long* pIndices, size_t nCount) {
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

void CRegChangeBuilder::Read(const std::vector<long long>* pIndices) {
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

std::unique_ptr<CRegChanges> CRegChanges::FromRecords(const CRecordList& list,
                                                      const std::vector<long long>* pIndices) {
    CRegChangeBuilder builder(list);
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
