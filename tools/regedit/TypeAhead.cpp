#include "tools/regedit/TypeAhead.h"

namespace {

int Search(const QString& strText, int nStart, int nCount,
           const std::function<QString(int)>& name) {
    for (int i = 0; i < nCount; ++i) {
        const int nRow = (nStart + i) % nCount;
        if (name(nRow).startsWith(strText, Qt::CaseInsensitive))
            return nRow;
    }
    return -1;
}

} // namespace

int CTypeAhead::Type(QChar ch, qint64 nNowMs, int nCurrent, int nCount,
                     const std::function<QString(int)>& name) {
    if (m_strTyped.isEmpty() || nNowMs - m_nLastMs > TIMEOUT_MS || nNowMs < m_nLastMs)
        m_strTyped.clear();
    m_nLastMs = nNowMs;
    m_strTyped += ch;
    if (nCount <= 0)
        return -1;
    const int nFrom = nCurrent < 0 || nCurrent >= nCount ? 0 : nCurrent;
    if (m_strTyped.size() == 1)
        return Search(m_strTyped, nCurrent < 0 ? 0 : (nFrom + 1) % nCount, nCount, name);
    const int nRow = Search(m_strTyped, nFrom, nCount, name);
    if (nRow >= 0)
        return nRow;
    // "aaa": the same letter again and again walks through the entries starting with it.
    if (m_strTyped.count(m_strTyped[0]) == m_strTyped.size())
        return Search(m_strTyped.left(1), (nFrom + 1) % nCount, nCount, name);
    return -1;
}
