// One key of an in-memory registry tree: its name as spelled, options, sorted subkeys and values.
#pragma once

#include "winereg/WineRegValue.h"

#include <QString>
#include <QStringView>

#include <memory>
#include <optional>
#include <vector>

// Orders names as the registry does: ignoring case, code unit by code unit, shorter first.
int CompareRegNames(QStringView a, QStringView b);
inline bool EqualRegNames(QStringView a, QStringView b) {
    return a.size() == b.size() && CompareRegNames(a, b) == 0;
}

// Names compare ignoring case and keep their spelling. Subkeys and values are kept sorted by
// name (the order the registry enumerates and Wine writes them in). Paths are key names
// joined by backslashes; empty components are ignored. A key owns its subkeys.
class CWineRegKey {
public:
    explicit CWineRegKey(QString strName = {});
    ~CWineRegKey();
    CWineRegKey(const CWineRegKey&) = delete;
    CWineRegKey& operator=(const CWineRegKey&) = delete;

    // The deepest nesting a path may create; deeper paths are refused (the registry's limit).
    static constexpr int MAX_DEPTH = 512;

    const QString& Name() const { return m_strName; }
    CWineRegKey* Parent() const { return m_pParent; }
    // Names from below pTop down to this key, joined by backslashes; pTop nullptr: from below
    // the top of the tree. Empty for pTop itself.
    QString PathFrom(const CWineRegKey* pTop = nullptr) const;

    qsizetype SubKeyCount() const { return qsizetype(m_arSubKeys.size()); }
    CWineRegKey* SubKey(qsizetype i) const { return m_arSubKeys[size_t(i)].get(); }
    CWineRegKey* FindSubKey(QStringView name) const;
    // The position of the subkey of that name among SubKey(0..), or -1.
    qsizetype IndexOfSubKey(QStringView name) const;
    // The key at a path below this one (this key for an empty path), or nullptr.
    CWineRegKey* FindKey(QStringView path) const;
    // Creates the subkey unless it exists; *pbCreated tells which. Empty names give nullptr.
    CWineRegKey* CreateSubKey(QStringView name, bool* pbCreated = nullptr);
    // Creates every missing key along the path; nullptr when it is deeper than MAX_DEPTH.
    CWineRegKey* CreateKey(QStringView path, bool* pbCreated = nullptr);
    // Removes a subkey with everything below it; false when there is none.
    bool DeleteSubKey(QStringView name);

    qsizetype ValueCount() const { return qsizetype(m_arValues.size()); }
    const SWineRegValue& Value(qsizetype i) const { return m_arValues[size_t(i)]; }
    const SWineRegValue* FindValue(QStringView name) const;
    // Adds or replaces the value of that name; returns the value it replaced.
    std::optional<SWineRegValue> SetValue(SWineRegValue value);
    std::optional<SWineRegValue> DeleteValue(QStringView name);

    // Moves every key and value of other below this key; other's values replace same-named
    // ones and its options replace this key's when it has them. other is left empty.
    void MergeFrom(CWineRegKey&& other);

    // Number of keys below this one, all levels.
    qsizetype CountKeys() const;

    // Last change as a file time (100 ns units since 1601); 0 when unknown.
    uint64_t m_nModified = 0;
    // The key's class name, when it has one.
    std::optional<QString> m_class;
    // A symbolic link: its REG_LINK value "SymbolicLinkValue" names the target.
    bool m_bLink = false;

private:
    std::vector<std::unique_ptr<CWineRegKey>>::const_iterator LowerKey(QStringView name) const;
    std::vector<SWineRegValue>::const_iterator LowerValue(QStringView name) const;

    QString m_strName;
    CWineRegKey* m_pParent = nullptr;
    std::vector<std::unique_ptr<CWineRegKey>> m_arSubKeys;
    std::vector<SWineRegValue> m_arValues;
};

// Name of the value that holds a link key's target.
inline constexpr char16_t LINK_VALUE_NAME[] = u"SymbolicLinkValue";
