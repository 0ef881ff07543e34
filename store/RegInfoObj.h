// One captured registry operation: the fields the driver reported and what the views derive.
#pragma once

#include "utils/Object.h"

#include <QString>

#include <atomic>
#include <cstdint>

class CBaseObj : public CObject {};

// Public fields are written once by the decoder or by Serialize, before the record is listed;
// after that the record is never changed, so readers on any thread need no lock of their own.
class CRegInfoObj : public CBaseObj {
public:
    CRegInfoObj() = default;
    CRegInfoObj(const CRegInfoObj& other);
    CRegInfoObj& operator=(const CRegInfoObj& other);

    void Serialize(CArchive& ar) override;

    // Operation code 0..13. The 14 request names match ignoring case; a few other spellings
    // of the same operations are understood too (RegEnumKey, RegEnumValue, RegSetValue,
    // RegCreateKey, RegUnLoadKey); any other text gives RegQueryKey, the neutral read-only
    // code, so an unknown request never indexes outside the colour tables and never counts
    // as a write.
    int GetFunType() const;
    int IsWriteOpt() const; // create new key, set value, delete key, delete value
    int Modified() const;   // succeeded and changed the registry (a set that changed the data)

    // The key path with its root spelled out; strValueName gets the value name of a value
    // operation, else empty. The value name is what follows the path's last backslash.
    QString GetKeyString(QString& strValueName) const;
    QString GetDescription() const;
    QString GetCVSLine() const; // the eight export columns, RFC 4180 quoting, "\r\n"
    int FindString(QString strText, int bMatchCase, int bWholeWord) const;

    bool IsSuccess() const;

    int32_t m_nSeq = 0;
    QString m_strTime;
    QString m_strProcessName;
    int32_t m_nPid = 0;
    QString m_strRequest;
    QString m_strPath;
    QString m_strResult;
    QString m_strOldValue;
    QString m_strNewValue;

private:
    friend class CRecordList; // fills copies with the operation code it knows already
    mutable std::atomic<int8_t> m_nFunTypeCache{-1};
};

// Request text to operation code, by the rule GetFunType documents.
int RequestToFunType(const QString& strRequest);
// The rules of IsWriteOpt and Modified, for records kept in other forms. bValuesDiffer: the
// new value is not the old one.
int IsWriteFunType(int nFunType);
int ModifiesRegistry(int nFunType, bool bSuccess, bool bValuesDiffer);

// The Description column: fixed words with at most two of the record's texts between them,
// "<pBefore><arg1><pBetween><arg2>".
enum EDescriptionArg {
    DESC_NONE,
    DESC_RESULT_OR_NO_RESULT, // the result, or "no result" when it is empty
    DESC_OLD,
    DESC_NEW,
    DESC_OLD_OR_NO_DATA, // the old value, or "(no data)" when it is empty
    DESC_NEW_OR_NO_DATA,
};
struct SDescriptionRecipe {
    const char* pBefore;
    EDescriptionArg nArg1;
    const char* pBetween;
    EDescriptionArg nArg2;
};
SDescriptionRecipe DescriptionRecipe(int nFunType, bool bSuccess, bool bOldEmpty, bool bNewEmpty,
                                     bool bSameValues);
// Whether the description uses the old or the new value at all.
bool DescriptionUsesOld(const SDescriptionRecipe& recipe);
bool DescriptionUsesNew(const SDescriptionRecipe& recipe);
inline constexpr const char* DESC_NO_RESULT = "no result";
inline constexpr const char* DESC_NO_DATA = "(no data)";
// Expands a leading root abbreviation (HKLM, HKCU, HKCR, HKU, HKCC) to its full name.
QString ExpandRootKey(const QString& strPath);
// One CSV field, quoted when it holds a comma, quote, CR or LF (quotes doubled).
QString CsvField(const QString& str);
