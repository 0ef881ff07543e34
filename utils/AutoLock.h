// Lock objects: a re-entrant mutex and the scoped lock that holds it for one block.
#pragma once

#include <mutex>

class CSyncObject {
public:
    virtual ~CSyncObject() = default;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
};

// Re-entrant: the thread that holds it may take it again. A thread that finds it held tries
// again for a few tens of microseconds before it sleeps: the holds are that short (a driver
// buffer, a few thousand records), and a sleep and a wake cost more, so two busy threads that
// hand the lock to and fro would otherwise spend much of their time waking each other.
class CMutex : public CSyncObject {
public:
    void Lock() override {
        if (!m_mutex.try_lock())
            SpinThenLock();
    }
    void Unlock() override { m_mutex.unlock(); }

    static constexpr long long SPIN_NS = 50'000;

private:
    void SpinThenLock();

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
