#include "utils/MyList.h"

CMyList::~CMyList() {
    Clear();
}

CObject* CMyList::RemoveHead() {
    if (m_items.empty())
        return nullptr;
    CObject* pObj = m_items.front();
    m_items.pop_front();
    return pObj;
}

void CMyList::Clear() {
    for (CObject* pObj : m_items)
        delete pObj;
    m_items.clear();
    m_items.shrink_to_fit();
}
