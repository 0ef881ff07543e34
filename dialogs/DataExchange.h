// One transfer between a dialog's controls and its members, in the order the dialog asks.
#pragma once

#include <QString>

#include <cstdint>
#include <initializer_list>

class CDialogEx;
class QWidget;

class CDataExchange {
public:
    CDataExchange(CDialogEx* pDlg, bool bSaveAndValidate)
        : m_pDlg(pDlg), m_bSaveAndValidate(bSaveAndValidate) {}

    // Edit text, as typed.
    void Text(int nId, QString& str);
    // A whole number in an edit box. Reading fails on an empty text or one that is not a
    // 32-bit number: the user is told, the member keeps its value, the edit gets the focus
    // and the transfers after it are skipped.
    void Text(int nId, int32_t& n);
    // Check box: 1 ticked, 0 not; any nonzero member ticks it.
    void Check(int nId, int32_t& b);
    // A radio group: the index of the ticked button, -1 when none is; a member outside the
    // group leaves every button unticked.
    void Radio(std::initializer_list<int> arIds, int32_t& n);

    bool Failed() const { return m_bFailed; }

    CDialogEx* m_pDlg;
    const bool m_bSaveAndValidate;

private:
    QWidget* Control(int nId) const;
    void Fail(QWidget* pControl, const QString& strMessage);

    bool m_bFailed = false;
};
