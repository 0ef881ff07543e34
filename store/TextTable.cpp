#include "store/TextTable.h"

#include "store/RegInfoObj.h"
#include "store/RegOperations.h"
#include "store/Wtf8.h"
#include "utils/ByteBuffer.h"

#include <cstring>

namespace {

constexpr uint64_t MUL1 = 0x9E3779B97F4A7C15ull;
constexpr uint64_t MUL2 = 0xBF58476D1CE4E5B9ull;

uint64_t Mix(uint64_t h) {
    h ^= h >> 31;
    h *= MUL2;
    h ^= h >> 29;
    return h;
}

constexpr size_t INITIAL_SLOTS = 1024;

} // namespace

size_t ArchiveWideHeader(uint32_t nUnits, unsigned char* pOut) {
    pOut[0] = 0xFF;
    pOut[1] = 0xFE;
    pOut[2] = 0xFF;
    if (nUnits < 0xFF) {
        pOut[3] = uint8_t(nUnits);
        return 4;
    }
    pOut[3] = 0xFF;
    if (nUnits < 0xFFFE) {
        StoreLE16(pOut + 4, uint16_t(nUnits));
        return 6;
    }
    StoreLE16(pOut + 4, 0xFFFF);
    StoreLE32(pOut + 6, nUnits);
    return 10;
}

CTextTable::CTextTable() {
    Clear();
}

void CTextTable::Clear() {
    m_strPool.clear();
    m_strPool.shrink_to_fit();
    m_texts.assign(1, SText{0, 0, 0, true}); // id 0: the empty text
    m_texts.shrink_to_fit();
    m_textSlots.assign(INITIAL_SLOTS, 0);
    m_textSlots.shrink_to_fit();
    m_tuples.clear();
    m_tuples.shrink_to_fit();
    m_tupleSlots.assign(INITIAL_SLOTS, 0);
    m_tupleSlots.shrink_to_fit();
    m_wide.clear();
    m_wide.shrink_to_fit();
    m_archivedPool.clear();
    m_archivedPool.shrink_to_fit();
    m_archivedAt.clear();
    m_archivedAt.shrink_to_fit();
}

uint32_t CTextTable::Intern(std::string_view s, uint64_t nHash) {
    if (s.empty())
        return 0;
    if (s.size() > MAX_SHARED_BYTES)
        return NOT_SHARED;
    const size_t nMask = m_textSlots.size() - 1;
    for (size_t i = size_t(nHash) & nMask;; i = (i + 1) & nMask) {
        const uint32_t nId = m_textSlots[i];
        if (nId == 0)
            break;
        const SText& t = m_texts[nId];
        if (t.nHash == nHash && SameBytes({m_strPool.data() + t.nOffset, t.nLength}, s))
            return nId;
    }
    if (m_texts.size() > MAX_TEXTS)
        return NOT_SHARED;
    const uint32_t nId = uint32_t(m_texts.size());
    m_texts.push_back(
        {uint32_t(m_strPool.size()), uint32_t(s.size()), nHash, IsAsciiText(s.data(), s.size())});
    m_strPool.append(s);
    if (m_texts.size() * 2 > m_textSlots.size())
        GrowTextSlots();
    else {
        for (size_t i = size_t(nHash) & nMask;; i = (i + 1) & nMask) {
            if (m_textSlots[i] == 0) {
                m_textSlots[i] = nId;
                break;
            }
        }
    }
    return nId;
}

void CTextTable::GrowTextSlots() {
    m_textSlots.assign(m_textSlots.size() * 2, 0);
    const size_t nMask = m_textSlots.size() - 1;
    for (uint32_t nId = 1; nId < m_texts.size(); ++nId) {
        size_t i = size_t(m_texts[nId].nHash) & nMask;
        while (m_textSlots[i] != 0)
            i = (i + 1) & nMask;
        m_textSlots[i] = nId;
    }
}

QString CTextTable::Wide(uint32_t nId) const {
    if (nId == 0)
        return QString();
    if (m_wide.size() <= nId)
        m_wide.resize(m_texts.size());
    QString& str = m_wide[nId];
    if (str.isNull())
        str = Wtf8ToQString(Text(nId));
    return str;
}

// Every archived form has its header, so none is empty. The pool ends in the slack of the last
// form made.
std::string_view CTextTable::MakeArchived(uint32_t nId) const {
    if (m_archivedAt.size() <= nId)
        m_archivedAt.resize(m_texts.size(), SArchivedAt{0, 0});
    const std::string_view text = Text(nId);
    const size_t nUnits = Wtf8Utf16Length(text);
    unsigned char header[10];
    const size_t nHeader = ArchiveWideHeader(uint32_t(nUnits), header);
    const size_t nLength = nHeader + 2 * nUnits;
    const size_t nOffset = m_archivedPool.empty() ? 0 : m_archivedPool.size() - ARCHIVED_SLACK;
    m_archivedPool.resize(nOffset + nLength + ARCHIVED_SLACK);
    unsigned char* p = reinterpret_cast<unsigned char*>(m_archivedPool.data()) + nOffset;
    std::memcpy(p, header, nHeader);
    Wtf8ToUtf16LE(text, p + nHeader);
    m_archivedAt[nId] = {uint32_t(nOffset), uint32_t(nLength)};
    return {m_archivedPool.data() + nOffset, nLength};
}

uint64_t CTextTable::TupleHash(uint32_t a, uint32_t b, uint32_t c) {
    return Mix((uint64_t(a) << 32 | b) * MUL1 ^ Mix(uint64_t(c) + MUL2));
}

uint32_t CTextTable::InternTuple(uint32_t nProcess, uint32_t nRequest, uint32_t nResult) {
    const uint64_t nHash = TupleHash(nProcess, nRequest, nResult);
    const size_t nMask = m_tupleSlots.size() - 1;
    size_t i = size_t(nHash) & nMask;
    for (;; i = (i + 1) & nMask) {
        const uint32_t nSlot = m_tupleSlots[i];
        if (nSlot == 0)
            break;
        const STextTuple& t = m_tuples[nSlot - 1];
        if (t.nProcess == nProcess && t.nRequest == nRequest && t.nResult == nResult)
            return nSlot - 1;
    }
    if (m_tuples.size() >= MAX_TUPLES)
        return NOT_SHARED;
    STextTuple t;
    t.nProcess = nProcess;
    t.nRequest = nRequest;
    t.nResult = nResult;
    t.nFunType = uint8_t(RequestToFunType(Wide(nRequest)));
    t.bSuccess = Text(nResult) == RESULT_SUCCESS;
    m_tuples.push_back(t);
    const uint32_t nId = uint32_t(m_tuples.size() - 1);
    if (m_tuples.size() * 2 > m_tupleSlots.size()) {
        GrowTupleSlots();
    } else {
        m_tupleSlots[i] = nId + 1;
    }
    return nId;
}

void CTextTable::GrowTupleSlots() {
    m_tupleSlots.assign(m_tupleSlots.size() * 2, 0);
    const size_t nMask = m_tupleSlots.size() - 1;
    for (uint32_t nId = 0; nId < m_tuples.size(); ++nId) {
        const STextTuple& t = m_tuples[nId];
        size_t i = size_t(TupleHash(t.nProcess, t.nRequest, t.nResult)) & nMask;
        while (m_tupleSlots[i] != 0)
            i = (i + 1) & nMask;
        m_tupleSlots[i] = nId + 1;
    }
}

size_t CTextTable::GetBytesHeld() const {
    size_t n = m_strPool.capacity() + m_texts.capacity() * sizeof(SText) +
               m_textSlots.capacity() * sizeof(uint32_t) +
               m_tuples.capacity() * sizeof(STextTuple) +
               m_tupleSlots.capacity() * sizeof(uint32_t);
    n += m_wide.capacity() * sizeof(QString) + m_archivedPool.capacity() +
         m_archivedAt.capacity() * sizeof(SArchivedAt);
    return n;
}
