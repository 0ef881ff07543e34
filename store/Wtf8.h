// Text as the record store keeps it: UTF-8 bytes, with lone UTF-16 surrogates kept as well.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Every UTF-16 text converts to these bytes and back unchanged: code points as UTF-8, and a
// surrogate that is not part of a pair (a loaded file may hold one) as the three bytes UTF-8
// would give its value. ASCII text is the same bytes in every form, which the fast paths use.
bool IsAsciiText(const char* p, size_t n);
inline bool IsAsciiText(std::string_view s) {
    return IsAsciiText(s.data(), s.size());
}

void AppendUtf16AsWtf8(std::string& out, const char16_t* p, size_t nUnits);
inline void AppendUtf16AsWtf8(std::string& out, const QString& str) {
    AppendUtf16AsWtf8(out, reinterpret_cast<const char16_t*>(str.utf16()), size_t(str.size()));
}
// The same from UTF-16LE bytes (an archive's wide string).
void AppendUtf16LEAsWtf8(std::string& out, const unsigned char* p, size_t nUnits);
// ASCII UTF-16LE code units narrowed into pOut (room for nUnits bytes); false, with pOut
// partly written, when a unit is not ASCII.
bool NarrowAsciiUtf16LE(const unsigned char* p, size_t nUnits, char* pOut);

// Back to UTF-16: the number of code units, and the units themselves.
size_t Wtf8Utf16Length(std::string_view s);
QString Wtf8ToQString(std::string_view s);
// Writes Wtf8Utf16Length(s) code units as UTF-16LE bytes at pOut.
void Wtf8ToUtf16LE(std::string_view s, unsigned char* pOut);
