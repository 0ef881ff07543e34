// Bounds-checked little-endian reading and writing of byte buffers (driver records, archives).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

// Little-endian helpers on raw memory; the caller has checked the bounds.
inline uint16_t LoadLE16(const unsigned char* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t LoadLE32(const unsigned char* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t LoadLE64(const unsigned char* p) {
    return uint64_t(LoadLE32(p)) | (uint64_t(LoadLE32(p + 4)) << 32);
}
inline void StoreLE16(unsigned char* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void StoreLE32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
inline void StoreLE64(unsigned char* p, uint64_t v) {
    StoreLE32(p, uint32_t(v));
    StoreLE32(p + 4, uint32_t(v >> 32));
}

// Reads from a fixed span; every read fails (returns false) instead of passing the end.
class CByteReader {
public:
    explicit CByteReader(std::span<const unsigned char> data) : m_data(data) {}

    size_t Position() const { return m_nPos; }
    size_t Remaining() const { return m_data.size() - m_nPos; }
    bool AtEnd() const { return m_nPos >= m_data.size(); }
    const unsigned char* Current() const { return m_data.data() + m_nPos; }

    bool ReadU32(uint32_t& v) {
        return Take(4, [&](const unsigned char* p) { v = LoadLE32(p); });
    }
    bool ReadU64(uint64_t& v) {
        return Take(8, [&](const unsigned char* p) { v = LoadLE64(p); });
    }
    bool Skip(size_t n) {
        return Take(n, [](const unsigned char*) {});
    }
    bool Read(void* pDest, size_t n) {
        return Take(n, [&](const unsigned char* p) { std::memcpy(pDest, p, n); });
    }

private:
    template <class F> bool Take(size_t n, F&& f) {
        if (n > Remaining())
            return false;
        f(m_data.data() + m_nPos);
        m_nPos += n;
        return true;
    }

    std::span<const unsigned char> m_data;
    size_t m_nPos = 0;
};

// Writes into a fixed span; a write that does not fit writes nothing and returns false.
class CByteWriter {
public:
    explicit CByteWriter(std::span<unsigned char> data) : m_data(data) {}

    size_t Position() const { return m_nPos; }
    size_t Remaining() const { return m_data.size() - m_nPos; }

    bool WriteU32(uint32_t v) {
        return Put(4, [&](unsigned char* p) { StoreLE32(p, v); });
    }
    bool WriteU64(uint64_t v) {
        return Put(8, [&](unsigned char* p) { StoreLE64(p, v); });
    }
    bool Write(const void* pSrc, size_t n) {
        return Put(n, [&](unsigned char* p) { std::memcpy(p, pSrc, n); });
    }
    bool Fill(unsigned char c, size_t n) {
        return Put(n, [&](unsigned char* p) { std::memset(p, c, n); });
    }

private:
    template <class F> bool Put(size_t n, F&& f) {
        if (n > Remaining())
            return false;
        f(m_data.data() + m_nPos);
        m_nPos += n;
        return true;
    }

    std::span<unsigned char> m_data;
    size_t m_nPos = 0;
};
