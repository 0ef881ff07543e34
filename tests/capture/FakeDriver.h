// An in-process driver for engine tests: records every control call and serves scripted reads.
#pragma once

#include "platform/DeviceIo.h"

#include <QByteArray>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class CFakeDriver {
public:
    struct SCall {
        uint32_t nCode;
        QByteArray input;
    };

    // A handle whose control calls reach this object; the caller closes it.
    HANDLE OpenHandle();

    // Packs records into one read result, as the driver does.
    void QueueRead(const std::vector<std::string>& texts, uint32_t nFirstSeq = 1,
                   uint64_t nFileTime = 133000000000000000ull);
    void QueueRawRead(const QByteArray& bytes);

    std::vector<uint32_t> Codes() const;
    std::vector<SCall> Calls() const;
    void ClearCalls();

    // Runs on every control call but READ, before it is answered.
    std::function<void(uint32_t nCode, const QByteArray& input)> m_fnOnCall;
    // Texts GET_MESSAGE hands out, one per call.
    void QueueMessage(const std::string& str);

    std::atomic<uint32_t> m_nVersion{200};
    std::atomic<uint32_t> m_nFailCode{0}; // this control code fails
    std::atomic<int> m_nReads{0};

    int IoControl(uint32_t nCode, const void* pIn, uint32_t nInSize, void* pOut, uint32_t nOutSize,
                  uint32_t* pReturned);

private:
    mutable std::mutex m_lock;
    std::vector<SCall> m_calls; // every code but READ
    std::deque<QByteArray> m_reads;
    std::deque<std::string> m_messages;
};
