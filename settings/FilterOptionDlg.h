// The Options dialog: process and path filters, operation switches, list colours, history depth.
#pragma once

#include "dialogs/DialogEx.h"
#include "store/RegOperations.h"

#include <QString>
#include <QStringList>

#include <cstdint>

class CSelColor;
class CSpinButtonCtrl;
class QComboBox;
class QListWidget;

class CFilterOptionDlg : public CDialogEx {
    Q_OBJECT
public:
    explicit CFilterOptionDlg(QWidget* pParent = nullptr);

    // The working copy; g_SetObj changes only on Apply.
    QString m_strProcInclude;
    QString m_strProcExclude;
    QComboBox* m_cbIncludeRoot;
    QComboBox* m_cbExcludeRoot;
    QString m_strIncludePath;
    QString m_strExcludePath;
    QListWidget* m_lbIncludePath;
    QListWidget* m_lbExcludePath;
    int32_t m_bRegOpenKey = 0;
    int32_t m_bRegCloseKey = 0;
    int32_t m_bRegQueryKey = 0;
    int32_t m_bRegQueryValue = 0;
    int32_t m_bEnumerateKey = 0;
    int32_t m_bEnumerateValueKey = 0;
    int32_t m_bRegCreateKeyNew = 0;
    int32_t m_bRegCreateKeyOpen = 0;
    int32_t m_bRegSetValueKey = 0;
    int32_t m_bRegFlushKey = 0;
    int32_t m_bRegDeleteKey = 0;
    int32_t m_bRegDeleteValue = 0;
    int32_t m_bRegLoadKey = 0;
    int32_t m_bRegUnloadKey = 0;
    int32_t m_nDepth = 0;
    CSpinButtonCtrl* m_spinDepth;
    CSelColor* m_selText[REG_OPERATION_COUNT];
    CSelColor* m_selBack[REG_OPERATION_COUNT];

    // Process patterns as typed ("a; b;c") to the stored list, last typed first.
    static void SplitPatterns(const QString& strText, QStringList& arPatterns);

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;
    void OnOK() override; // Apply

    void OnAddInclude();
    void OnAddExclude();
    void OnRemoveInclude();
    void OnDelExclude();
    void OnDefault();
    void OnSelColorChanged();

private:
    void CreateControls();
    void AddPathEntry(QComboBox* pRoot, const QString& strPath, QListWidget* pList);
    void RemoveSelectedEntry(QListWidget* pList);
};
