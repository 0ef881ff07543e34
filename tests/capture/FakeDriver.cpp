#include "tests/capture/FakeDriver.h"

#include "driver/RegDrvContract.h"
#include "utils/ByteBuffer.h"

#include <cstring>

namespace {

int FakeIoControl(void* pInstance, uint32_t nCode, const void* pIn, uint32_t nInSize, void* pOut,
                  uint32_t nOutSize, uint32_t* pReturned) {
    return static_cast<CFakeDriver*>(pInstance)->IoControl(nCode, pIn, nInSize, pOut, nOutSize,
                                                           pReturned);
}

} // namespace

HANDLE CFakeDriver::OpenHandle() {
    auto pDevice = std::make_shared<SDeviceInstance>();
    pDevice->m_pInstance = this;
    pDevice->m_pfnIoControl = &FakeIoControl;
    return CreateDeviceHandle(pDevice);
}

void CFakeDriver::QueueRead(const std::vector<std::string>& texts, uint32_t nFirstSeq,
                            uint64_t nFileTime) {
    QByteArray bytes(int(READ_BUFFER_SIZE), '\0');
    CByteWriter w(
        std::span<unsigned char>(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size()));
    for (const std::string& text : texts)
        RegDrvPackEvent(w, nFirstSeq++, nFileTime, text);
    bytes.truncate(qsizetype(w.Position()));
    QueueRawRead(bytes);
}

void CFakeDriver::QueueRawRead(const QByteArray& bytes) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_reads.push_back(bytes);
}

std::vector<uint32_t> CFakeDriver::Codes() const {
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<uint32_t> codes;
    for (const SCall& c : m_calls)
        codes.push_back(c.nCode);
    return codes;
}

std::vector<CFakeDriver::SCall> CFakeDriver::Calls() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_calls;
}

void CFakeDriver::ClearCalls() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_calls.clear();
}

int CFakeDriver::IoControl(uint32_t nCode, const void* pIn, uint32_t nInSize, void* pOut,
                           uint32_t nOutSize, uint32_t* pReturned) {
    *pReturned = 0;
    const QByteArray input(static_cast<const char*>(pIn), pIn ? qsizetype(nInSize) : 0);
    if (nCode != IOCTL_REGDRV_READ && m_fnOnCall)
        m_fnOnCall(nCode, input);
    std::lock_guard<std::mutex> lock(m_lock);
    if (nCode != IOCTL_REGDRV_READ)
        m_calls.push_back({nCode, input});
    if (nCode == IOCTL_REGDRV_READ)
        ++m_nReads;
    if (nCode == m_nFailCode)
        return 0;
    switch (nCode) {
    case IOCTL_REGDRV_GET_VERSION:
        if (nOutSize < 4)
            return 0;
        StoreLE32(static_cast<unsigned char*>(pOut), m_nVersion);
        *pReturned = 4;
        return 1;
    case IOCTL_REGDRV_READ: {
        if (m_reads.empty())
            return 1;
        const QByteArray bytes = m_reads.front();
        m_reads.pop_front();
        // The engine's buffer is READ_BUFFER_SIZE; a raw read may claim more to test the walk
        // bound.
        std::memcpy(pOut, bytes.constData(), std::min<size_t>(size_t(bytes.size()), nOutSize));
        *pReturned = uint32_t(bytes.size());
        return 1;
    }
    case IOCTL_REGDRV_GET_MESSAGE: {
        if (m_messages.empty())
            return 1;
        const std::string str = m_messages.front();
        m_messages.pop_front();
        const size_t n = std::min<size_t>(str.size(), nOutSize);
        std::memcpy(pOut, str.data(), n);
        *pReturned = uint32_t(n);
        return 1;
    }
    default:
        return 1;
    }
}

void CFakeDriver::QueueMessage(const std::string& str) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_messages.push_back(str);
}
