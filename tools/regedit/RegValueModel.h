// The editor's value list: Name, Type and Data of the selected key's values.
#pragma once

#include "winereg/WineRegKey.h"

#include <QAbstractTableModel>

// Row 0 is always the unnamed value, "(Default)" (shown as REG_SZ "(value not set)" when the
// key has none), then the named values in name order. Data is the record vocabulary's data
// text, cut for display.
class CRegValueModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum EColumn { COL_NAME, COL_TYPE, COL_DATA, COLUMN_COUNT };
    static constexpr qsizetype MAX_DATA_CHARS = 2048;

    explicit CRegValueModel(QObject* pParent = nullptr);

    // The key must stay unchanged while it is shown (SetKey again after any change).
    void SetKey(const CWineRegKey* pKey);
    const CWineRegKey* Key() const { return m_pKey; }
    // Shown in the Name column (DecorationRole): for string types and for the others.
    void SetIcons(const QVariant& stringIcon, const QVariant& binaryIcon);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int nRole = Qt::DisplayRole) const override;
    QVariant headerData(int nSection, Qt::Orientation orientation,
                        int nRole = Qt::DisplayRole) const override;

    // The name shown in a row ("(Default)" for row 0); empty beyond the rows.
    QString NameAt(int nRow) const;
    // The value of a row; nullptr for an unset default value and beyond the rows.
    const SWineRegValue* ValueAt(int nRow) const;

private:
    // The rows after row 0: the key's values without its unnamed one.
    int NamedOffset() const;

    const CWineRegKey* m_pKey = nullptr;
    QVariant m_stringIcon, m_binaryIcon;
};
