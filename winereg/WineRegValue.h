// Registry value types, the value record of the key tree, and the "TYPE: data" text of values.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <string>

// Value type numbers, as the registry stores them.
inline constexpr uint32_t REG_NONE = 0;
inline constexpr uint32_t REG_SZ = 1;
inline constexpr uint32_t REG_EXPAND_SZ = 2;
inline constexpr uint32_t REG_BINARY = 3;
inline constexpr uint32_t REG_DWORD = 4;
inline constexpr uint32_t REG_DWORD_BIG_ENDIAN = 5;
inline constexpr uint32_t REG_LINK = 6;
inline constexpr uint32_t REG_MULTI_SZ = 7;
inline constexpr uint32_t REG_RESOURCE_LIST = 8;
inline constexpr uint32_t REG_FULL_RESOURCE_DESCRIPTOR = 9;
inline constexpr uint32_t REG_RESOURCE_REQUIREMENTS_LIST = 10;
inline constexpr uint32_t REG_QWORD = 11;

// One value of a key: its name as spelled (empty for the unnamed value), its type number and
// its raw data. String data is UTF-16LE and carries its terminating zero, as the registry
// stores it, so a value survives a trip through a registry file byte for byte.
struct SWineRegValue {
    QString m_strName;
    uint32_t m_nType = REG_NONE;
    QByteArray m_data;

    bool operator==(const SWineRegValue&) const = default;
    // "TYPE: data", see RegValueText.
    QString Text() const;
};

// "REG_SZ", "REG_DWORD", ...; a number without a name reads "REG_0x1c" (hexadecimal).
QString RegTypeName(uint32_t nType);
// The type number of a name RegTypeName gives; false when the name is not one of them.
bool RegTypeFromName(QStringView name, uint32_t& nType);

// The data part of a value's text, as the records show it:
//   strings (REG_SZ, REG_EXPAND_SZ, REG_LINK): the text up to its first zero;
//   REG_MULTI_SZ: the strings joined by ", ";
//   REG_DWORD, REG_DWORD_BIG_ENDIAN: "0x00000001 (1)"; REG_QWORD: "0x0000000000000001 (1)";
//   anything else, and numbers of the wrong size: bytes as upper-case hex pairs, space separated
//   ("30 00 02 80").
// nMaxChars > 0 cuts a longer text and ends it with "...".
QString RegDataText(uint32_t nType, QByteArrayView data, qsizetype nMaxChars = 0);
// "TYPE: data", for example "REG_DWORD: 0x00000001 (1)"; the record vocabulary's value text.
QString RegValueText(uint32_t nType, QByteArrayView data, qsizetype nMaxChars = 0);

// What a value text tells of the data it was made from.
enum class ERegTextData {
    EXACT,      // the data RegValueText was given, in the form below
    CUT,        // the text ends with "...": only the beginning of the data is known
    UNREADABLE, // not a text RegValueText makes
};
// Reads a "TYPE: data" text back into the type and data it shows. A text that ends with the
// data's bytes (see RegRecordValueText) gives exactly those bytes. Otherwise data comes back in
// the form the registry normally holds: strings UTF-16LE with one terminating zero, a string
// list with its closing empty string; a text is exact when RegValueText of the result gives it
// again.
ERegTextData RegValueFromText(QStringView text, uint32_t& nType, QByteArray& data);

// The value text a record carries: RegValueText cut at nMaxChars, followed by the data's bytes
// as " [bytes: 61000000]" when that text alone does not give them back exactly (a string
// without its terminating zero or with bytes after its first zero, a list string that holds
// ", ", a text cut at nMaxChars, a string that ends with "...", a control character, which a
// record field holds as a space), as long as the whole stays
// within nMaxBytes bytes of UTF-8. When it does not fit, the text ends with "...": its data is
// known only in part.
QString RegRecordValueText(uint32_t nType, QByteArrayView data, qsizetype nMaxChars,
                           qsizetype nMaxBytes);

// The number texts of RegDataText, for callers that hold plain numbers.
std::string RegDwordText(uint32_t nValue);
std::string RegQwordText(uint64_t nValue);

// Building value data.
QByteArray RegStringData(QStringView str); // UTF-16LE with the terminating zero
QByteArray RegMultiStringData(const QStringList& arStrings);
QByteArray RegDwordData(uint32_t nValue); // little-endian
QByteArray RegQwordData(uint64_t nValue);

// Reading string data back: the text up to the first zero; the strings of a REG_MULTI_SZ.
QString RegStringFromData(QByteArrayView data);
QStringList RegMultiStringFromData(QByteArrayView data);
