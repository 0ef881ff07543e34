// Lock objects: a re-entrant mutex and the scoped lock that holds it for one block.
#pragma once

#include <mutex>

class CSyncObject {
public:
    virtual ~CSyncObject() = default;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
};

// Re-entrant: the thread that holds it may take it again.
class CMutex : public CSyncObject {
public:
    void Lock() override { m_mutex.lock(); }
    void Unlock() override { m_mutex.unlock(); }

private:
    std::recursive_mutex m_mutex;
};

class CAutoLock {
public:
    explicit CAutoLock(CSyncObject* pObj) : m_pObj(pObj) { m_pObj->Lock(); }
    ~CAutoLock() { m_pObj->Unlock(); }
    CAutoLock(const CAutoLock&) = delete;
    CAutoLock& operator=(const CAutoLock&) = delete;

private:
    CSyncObject* m_pObj;
};
