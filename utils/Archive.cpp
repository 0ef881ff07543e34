#include "utils/Archive.h"

#include "platform/AnsiCodePage.h"
#include "utils/ByteBuffer.h"

#include <QIODevice>

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

[[noreturn]] void ThrowEof() {
    throw CArchiveException(CArchiveException::endOfFile, "the file ends before its data does");
}

[[noreturn]] void ThrowFormat(const char* pWhat) {
    throw CArchiveException(CArchiveException::badFormat, pWhat);
}

constexpr uint8_t kLongLength8 = 0xFF;
constexpr uint16_t kWideTag = 0xFFFE;
constexpr uint16_t kLongLength16 = 0xFFFF;

} // namespace

CArchive::CArchive(QIODevice* pFile, Mode mode, int nBufSize)
    : m_pFile(pFile), m_mode(mode), m_buf(size_t(std::max(nBufSize, 64))) {
    // Asking a file for its size is a system call; a loading archive asks once.
    if (mode == load && !pFile->isSequential())
        m_nDeviceSize = pFile->size();
}

CArchive::~CArchive() {
    if (m_mode == store && !m_bClosed) {
        try {
            FlushBuffer();
        } catch (const CArchiveException&) {
        }
    }
}

void CArchive::Close() {
    if (m_mode == store && !m_bClosed)
        FlushBuffer();
    m_bClosed = true;
}

// ---- storing ----

void CArchive::FlushBuffer() {
    if (m_nBufPos == 0)
        return;
    const qint64 nWanted = qint64(m_nBufPos);
    m_nBufPos = 0;
    if (m_pFile->write(m_buf.data(), nWanted) != nWanted)
        throw CArchiveException(CArchiveException::writeError, "the file could not be written");
}

void CArchive::Write(const void* pData, size_t nBytes) {
    const char* p = static_cast<const char*>(pData);
    if (nBytes >= m_buf.size()) {
        FlushBuffer();
        if (m_pFile->write(p, qint64(nBytes)) != qint64(nBytes))
            throw CArchiveException(CArchiveException::writeError, "the file could not be written");
        return;
    }
    if (nBytes > m_buf.size() - m_nBufPos)
        FlushBuffer();
    std::copy(p, p + nBytes, m_buf.data() + m_nBufPos);
    m_nBufPos += nBytes;
}

void CArchive::WriteUInt8(uint8_t v) {
    Write(&v, 1);
}

void CArchive::WriteUInt16(uint16_t v) {
    unsigned char b[2];
    StoreLE16(b, v);
    Write(b, 2);
}

void CArchive::WriteUInt32(uint32_t v) {
    unsigned char b[4];
    StoreLE32(b, v);
    Write(b, 4);
}

void CArchive::WriteInt32(int32_t v) {
    WriteUInt32(uint32_t(v));
}

void CArchive::WriteStringLength(uint32_t nLength) {
    if (nLength < kLongLength8) {
        WriteUInt8(uint8_t(nLength));
    } else if (nLength < kWideTag) {
        WriteUInt8(kLongLength8);
        WriteUInt16(uint16_t(nLength));
    } else {
        WriteUInt8(kLongLength8);
        WriteUInt16(kLongLength16);
        WriteUInt32(nLength);
    }
}

void CArchive::WriteString(const QString& str) {
    WriteUInt8(kLongLength8);
    WriteUInt16(kWideTag);
    WriteStringLength(uint32_t(str.size()));
    std::vector<unsigned char> bytes(size_t(str.size()) * 2);
    for (qsizetype i = 0; i < str.size(); ++i)
        StoreLE16(bytes.data() + 2 * i, str[i].unicode());
    Write(bytes.data(), bytes.size());
}

unsigned char* CArchive::FlushForSpace(size_t nBytes) {
    if (nBytes > m_buf.size())
        return nullptr;
    FlushBuffer();
    return reinterpret_cast<unsigned char*>(m_buf.data()) + m_nBufPos;
}

// ---- loading ----

void CArchive::FillFront(size_t nBytes) {
    const size_t nLeft = m_nBufLen - m_nBufPos;
    std::copy(m_buf.data() + m_nBufPos, m_buf.data() + m_nBufLen, m_buf.data());
    m_nBufPos = 0;
    m_nBufLen = nLeft;
    while (m_nBufLen < nBytes) {
        const qint64 n = m_pFile->read(m_buf.data() + m_nBufLen, qint64(m_buf.size() - m_nBufLen));
        if (n < 0)
            throw CArchiveException(CArchiveException::readError, "the file could not be read");
        if (n == 0)
            return;
        m_nBufLen += size_t(n);
    }
}

const unsigned char* CArchive::FillForSpace(size_t nBytes) {
    if (nBytes > m_buf.size())
        return nullptr;
    // Keep what is left at the front and fill the rest.
    FillFront(nBytes);
    if (m_nBufLen < nBytes)
        return nullptr;
    return reinterpret_cast<const unsigned char*>(m_buf.data());
}

const unsigned char* CArchive::ReadAvailable(size_t nWanted, size_t& nHave) {
    nWanted = std::min(nWanted, m_buf.size());
    if (m_nBufLen - m_nBufPos < nWanted)
        FillFront(nWanted);
    nHave = m_nBufLen - m_nBufPos;
    return reinterpret_cast<const unsigned char*>(m_buf.data()) + m_nBufPos;
}

size_t CArchive::ReadSome(void* pData, size_t nMax) {
    if (nMax == 0)
        return 0;
    if (m_nBufPos < m_nBufLen) {
        const size_t n = std::min(nMax, m_nBufLen - m_nBufPos);
        std::memcpy(pData, m_buf.data() + m_nBufPos, n);
        m_nBufPos += n;
        return n;
    }
    const qint64 n = m_pFile->read(static_cast<char*>(pData), qint64(nMax));
    if (n < 0)
        throw CArchiveException(CArchiveException::readError, "the file could not be read");
    return size_t(n);
}

void CArchive::Unread(const void* pData, size_t nBytes) {
    const auto* p = static_cast<const char*>(pData);
    if (nBytes == 0)
        return;
    if (nBytes <= m_nBufPos) {
        m_nBufPos -= nBytes;
        std::memcpy(m_buf.data() + m_nBufPos, p, nBytes);
        return;
    }
    // More than the room before the unread bytes: a buffer that holds both.
    std::vector<char> buf(std::max(m_buf.size(), nBytes + (m_nBufLen - m_nBufPos)));
    std::memcpy(buf.data(), p, nBytes);
    std::copy(m_buf.data() + m_nBufPos, m_buf.data() + m_nBufLen, buf.data() + nBytes);
    m_nBufLen = nBytes + (m_nBufLen - m_nBufPos);
    m_nBufPos = 0;
    m_buf.swap(buf);
}

uint64_t CArchive::BytesRemaining() const {
    uint64_t nDevice = 0;
    if (m_pFile->isSequential()) {
        nDevice = uint64_t(std::max<qint64>(0, m_pFile->bytesAvailable()));
    } else {
        const qint64 nLeft = m_nDeviceSize - m_pFile->pos();
        nDevice = uint64_t(std::max<qint64>(0, nLeft));
    }
    return (m_nBufLen - m_nBufPos) + nDevice;
}

void CArchive::Fill() {
    const qint64 n = m_pFile->read(m_buf.data(), qint64(m_buf.size()));
    if (n < 0)
        throw CArchiveException(CArchiveException::readError, "the file could not be read");
    m_nBufPos = 0;
    m_nBufLen = size_t(n);
}

void CArchive::Read(void* pData, size_t nBytes) {
    char* p = static_cast<char*>(pData);
    while (nBytes > 0) {
        if (m_nBufPos == m_nBufLen) {
            Fill();
            if (m_nBufLen == 0)
                ThrowEof();
        }
        const size_t n = std::min(nBytes, m_nBufLen - m_nBufPos);
        std::copy(m_buf.data() + m_nBufPos, m_buf.data() + m_nBufPos + n, p);
        m_nBufPos += n;
        p += n;
        nBytes -= n;
    }
}

uint8_t CArchive::ReadUInt8() {
    uint8_t v;
    Read(&v, 1);
    return v;
}

uint16_t CArchive::ReadUInt16() {
    unsigned char b[2];
    Read(b, 2);
    return LoadLE16(b);
}

uint32_t CArchive::ReadUInt32() {
    unsigned char b[4];
    Read(b, 4);
    return LoadLE32(b);
}

int32_t CArchive::ReadInt32() {
    return int32_t(ReadUInt32());
}

int32_t CArchive::ReadCount(size_t nMinElementBytes) {
    const int32_t n = ReadInt32();
    if (n > 0 && uint64_t(n) * std::max<size_t>(nMinElementBytes, 1) > BytesRemaining())
        ThrowFormat("a count is larger than the data that follows it");
    return n;
}

uint32_t CArchive::ReadStringLength(bool& bWide) {
    bWide = false;
    uint8_t b = ReadUInt8();
    if (b < kLongLength8)
        return b;
    uint16_t w = ReadUInt16();
    if (w == kWideTag) {
        bWide = true;
        b = ReadUInt8();
        if (b < kLongLength8)
            return b;
        w = ReadUInt16();
    }
    if (w < kLongLength16)
        return w;
    const uint32_t dw = ReadUInt32();
    if (dw == 0xFFFFFFFFu)
        ThrowFormat("a string length is out of range");
    return dw;
}

QString CArchive::ReadString() {
    bool bWide = false;
    const uint32_t nLength = ReadStringLength(bWide);
    const uint64_t nBytes = uint64_t(nLength) * (bWide ? 2 : 1);
    if (nBytes > BytesRemaining())
        ThrowFormat("a string is longer than the rest of the file");
    if (!bWide) {
        QByteArray bytes(qsizetype(nBytes), Qt::Uninitialized);
        Read(bytes.data(), size_t(nBytes));
        return AnsiToUtf16(bytes);
    }
    // Read straight into the string's storage: UTF-16LE is the in-memory form here.
    QString str(qsizetype(nLength), Qt::Uninitialized);
    Read(str.data(), size_t(nBytes));
    if constexpr (std::endian::native == std::endian::big) {
        for (QChar& c : str)
            c = QChar(LoadLE16(reinterpret_cast<const unsigned char*>(&c)));
    }
    return str;
}
