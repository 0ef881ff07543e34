// Owning list of heap objects: append at the tail, remove at the head, constant-time index lookup.
#pragma once

#include "utils/Object.h"

#include <cstddef>
#include <deque>

// Elements are destroyed through CObject's virtual destructor by Clear() and the destructor;
// RemoveHead() hands ownership of the removed element back to the caller.
class CMyList {
public:
    CMyList() = default;
    virtual ~CMyList();
    CMyList(const CMyList&) = delete;
    CMyList& operator=(const CMyList&) = delete;

    void AddTail(CObject* pObj) { m_items.push_back(pObj); }
    CObject* RemoveHead(); // nullptr when empty
    void Clear();

    int GetCount() const { return int(m_items.size()); }
    bool IsEmpty() const { return m_items.empty(); }

    // The element at a zero-based index from the head, or nullptr outside 0 .. count - 1.
    CObject* FindIndex(long long nIndex) const {
        if (nIndex < 0 || nIndex >= (long long)m_items.size())
            return nullptr;
        return m_items[size_t(nIndex)];
    }

    // Head-to-tail walk.
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    std::deque<CObject*> m_items;
};
