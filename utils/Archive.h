// Framework archive stream: little-endian integers, raw blocks and counted strings over a file.
#pragma once

#include <QString>

#include <cstdint>
#include <stdexcept>
#include <vector>

class QIODevice;

// Raised by every archive read or write that cannot be completed.
class CArchiveException : public std::runtime_error {
public:
    enum Cause { endOfFile, badFormat, readError, writeError };
    CArchiveException(Cause cause, const char* pWhat) : std::runtime_error(pWhat), m_cause(cause) {}
    Cause m_cause;
};

class CArchive {
public:
    enum Mode { load, store };

    // The device must be open in the matching direction and stay open until Close().
    CArchive(QIODevice* pFile, Mode mode, int nBufSize = 4096);
    ~CArchive(); // flushes a storing archive; errors there are lost, so call Close()
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    bool IsLoading() const { return m_mode == load; }
    bool IsStoring() const { return m_mode == store; }
    void Close(); // writes out what is buffered; throws on a write error

    void WriteUInt8(uint8_t v);
    void WriteUInt16(uint16_t v);
    void WriteInt32(int32_t v);
    void WriteUInt32(uint32_t v);
    void Write(const void* pData, size_t nBytes);
    void WriteString(const QString& str); // always the wide form

    uint8_t ReadUInt8();
    uint16_t ReadUInt16();
    int32_t ReadInt32();
    uint32_t ReadUInt32();
    void Read(void* pData, size_t nBytes); // all of them, or CArchiveException
    QString ReadString();                  // the wide or the narrow form

    // A list count that cannot fit in what is left (each element taking at least
    // nMinElementBytes) is a format error, so a corrupt count never drives a huge allocation.
    int32_t ReadCount(size_t nMinElementBytes);

    // Bytes not yet read: the buffered ones plus the rest of the device.
    uint64_t BytesRemaining() const;

    // Direct access to the buffer, for writers and readers of many small fields. WriteSpace
    // gives room for nBytes (writing out what is buffered first when needed), nullptr when
    // nBytes is larger than the buffer; CommitWrite(n) then counts the n bytes filled in.
    unsigned char* WriteSpace(size_t nBytes) {
        if (nBytes <= m_buf.size() - m_nBufPos)
            return reinterpret_cast<unsigned char*>(m_buf.data()) + m_nBufPos;
        return FlushForSpace(nBytes);
    }
    void CommitWrite(size_t nBytes) { m_nBufPos += nBytes; }
    // Room left in the buffer before a write must go to the device, and the write of what is
    // buffered: a writer that fills the buffer while it holds a lock writes it out after.
    size_t WriteRoom() const { return m_buf.size() - m_nBufPos; }
    size_t BufferSize() const { return m_buf.size(); }
    void Flush() { FlushBuffer(); } // throws on a write error
    // The next nBytes, buffered in one piece (reading more from the device when needed);
    // nullptr when the device ends first or nBytes is larger than the buffer, which then
    // still holds every byte not yet read. CommitRead(n) consumes n of them.
    const unsigned char* ReadSpace(size_t nBytes) {
        if (m_nBufLen - m_nBufPos >= nBytes)
            return reinterpret_cast<const unsigned char*>(m_buf.data()) + m_nBufPos;
        return FillForSpace(nBytes);
    }
    void CommitRead(size_t nBytes) { m_nBufPos += nBytes; }
    // The bytes buffered from the current position, for readers that take what there is:
    // at least nWanted of them (reading more from the device when fewer are buffered), or all
    // that is left of the device when that is less, or all the buffer holds when nWanted is
    // larger than it. nHave is their number; CommitRead(n) consumes n of them.
    const unsigned char* ReadAvailable(size_t nWanted, size_t& nHave);
    // For readers with buffers of their own: copies up to nMax of the next bytes to pData (the
    // buffered ones first, else straight from the device) and returns their number, 0 at the
    // end of the device; throws readError.
    size_t ReadSome(void* pData, size_t nMax);
    // Puts nBytes back in front of the bytes not yet read: the next read returns them first.
    void Unread(const void* pData, size_t nBytes);

private:
    void Fill();
    void FlushBuffer();
    unsigned char* FlushForSpace(size_t nBytes);
    const unsigned char* FillForSpace(size_t nBytes);
    void FillFront(size_t nBytes); // keeps what is left at the front, reads up to nBytes
    uint32_t ReadStringLength(bool& bWide);
    void WriteStringLength(uint32_t nLength);

    QIODevice* m_pFile;
    Mode m_mode;
    std::vector<char> m_buf;
    size_t m_nBufPos = 0; // next byte to read, or bytes buffered for writing
    size_t m_nBufLen = 0; // bytes held when loading
    bool m_bClosed = false;
    qint64 m_nDeviceSize = 0; // loading from a file: its size when the archive was made
};
