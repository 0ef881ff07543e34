#include "changes/PathTable.h"

#include "store/RegOperations.h"
#include "store/TextTable.h"
#include "store/Wtf8.h"

#include <QString>

namespace {

constexpr size_t INITIAL_SLOTS = 4096;

} // namespace

CPathTable::CPathTable(bool bFolded)
    : m_rawSlots(INITIAL_SLOTS), m_foldedSlots(bFolded ? 0 : INITIAL_SLOTS), m_bFolded(bFolded) {}

std::string CPathTable::Upper(std::string_view path) {
    std::string str(path);
    if (IsAsciiText(path)) {
        for (char& c : str)
            if (c >= 'a' && c <= 'z')
                c = char(c - 32);
        return str;
    }
    QString wide = Wtf8ToQString(path);
    for (QChar& c : wide) {
        const char16_t u = c.unicode();
        c = u < 0x80 ? QChar(u >= u'a' && u <= u'z' ? char16_t(u - 32) : u) : c.toUpper();
    }
    str.clear();
    AppendUtf16AsWtf8(str, wide);
    return str;
}

std::string CPathTable::Folded(std::string_view path) {
    std::string str = Upper(path);
    if (!str.starts_with("HKEY_"))
        return str;
    const std::string_view root = std::string_view(str).substr(0, str.find('\\'));
    for (const SRootKeyName& name : g_RootKeyNames) {
        if (root == name.full) {
            str.replace(0, root.size(), name.abbrev);
            break;
        }
    }
    return str;
}

size_t CPathTable::Probe(const std::vector<SSlot>& arSlots, const std::string& strPool,
                         std::string_view text, uint64_t nHash) {
    const size_t nMask = arSlots.size() - 1;
    for (size_t i = size_t(nHash) & nMask;; i = (i + 1) & nMask) {
        const SSlot& slot = arSlots[i];
        if (slot.nId == EMPTY)
            return i;
        if (slot.nHash == nHash &&
            SameBytes(std::string_view(strPool.data() + slot.nOffset, slot.nLength), text))
            return i;
    }
}

void CPathTable::Grow(std::vector<SSlot>& arSlots) {
    std::vector<SSlot> grown(arSlots.size() * 2);
    const size_t nMask = grown.size() - 1;
    for (const SSlot& slot : arSlots) {
        if (slot.nId == EMPTY)
            continue;
        size_t i = size_t(slot.nHash) & nMask;
        while (grown[i].nId != EMPTY)
            i = (i + 1) & nMask;
        grown[i] = slot;
    }
    arSlots.swap(grown);
}

uint32_t CPathTable::FoldedId(std::string_view path) {
    if (m_bFolded) {
        m_spellings.push_back({m_strRaw.size(), uint32_t(path.size())}); // appended by Id()
        return uint32_t(m_spellings.size() - 1);
    }
    const std::string strFolded = Folded(path);
    const uint64_t nHash = HashBytes(strFolded);
    const size_t i = Probe(m_foldedSlots, m_strFolded, strFolded, nHash);
    if (m_foldedSlots[i].nId != EMPTY)
        return m_foldedSlots[i].nId;
    const uint32_t nId = uint32_t(m_spellings.size());
    m_foldedSlots[i] = {nHash, m_strFolded.size(), uint32_t(strFolded.size()), nId};
    m_folded.push_back({m_strFolded.size(), uint32_t(strFolded.size())});
    m_strFolded += strFolded;
    m_spellings.push_back({m_strRaw.size(), uint32_t(path.size())}); // appended by Id()
    if (m_spellings.size() * 2 > m_foldedSlots.size())
        Grow(m_foldedSlots);
    return nId;
}

uint64_t CPathTable::Hash(std::string_view path) {
    return HashBytes(path);
}

uint32_t CPathTable::Find(std::string_view path) const {
    const size_t i = Probe(m_rawSlots, m_strRaw, path, Hash(path));
    return m_rawSlots[i].nId;
}

uint32_t CPathTable::Id(std::string_view path, uint64_t nHash) {
    const size_t i = Probe(m_rawSlots, m_strRaw, path, nHash);
    if (m_rawSlots[i].nId != EMPTY)
        return m_rawSlots[i].nId;
    const uint32_t nId = FoldedId(path);
    m_rawSlots[i] = {nHash, m_strRaw.size(), uint32_t(path.size()), nId};
    m_strRaw += path;
    if (++m_nRaw * 2 > m_rawSlots.size())
        Grow(m_rawSlots);
    return nId;
}
