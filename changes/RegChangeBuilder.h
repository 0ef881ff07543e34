// The work behind CRegChanges: one pass over the records that tallies, per key and value
// path, the first and last records about it, then the tree worked out from the tallies.
#pragma once

#include "changes/PathTable.h"
#include "changes/RegChanges.h"
#include "store/RecordList.h"
#include "winereg/RegKeyContents.h"

#include <QString>

#include <algorithm>
#include <array>
#include <climits>
#include <deque>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class CRegChangeBuilder {
public:
    // Record indices order the events; these stand for "never" and "not before the end".
    static constexpr long long NEVER = -1;
    static constexpr long long AT_END = LLONG_MAX;
    static constexpr uint32_t NO_PROCESS = 0xFFFFFFFFu;

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

    explicit CRegChangeBuilder(const CRecordList& list) : m_list(list) {
        m_tupleProcess.assign(list.Texts().TupleCount(), NO_PROCESS);
    }

    // The root of a path as the records abbreviate it ("HKEY_CURRENT_USER" -> "HKCU").
    static QString RootAbbreviation(const QString& strRoot);

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
