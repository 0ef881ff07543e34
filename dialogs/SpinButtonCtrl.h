// An up-down control: two arrows that step the whole number in the edit box beside it.
#pragma once

#include <QWidget>

class QLineEdit;

class CSpinButtonCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CSpinButtonCtrl(QWidget* pParent = nullptr);

    // The edit whose number the arrows (and the Up and Down keys in the edit) change.
    void SetBuddy(QLineEdit* pBuddy);
    void SetRange(int nLower, int nUpper);
    // The position used when the edit holds no number; it is not written to the edit.
    void SetPos(int nPos);
    int GetPos() const { return m_nPos; }

    // One step up (+1) or down (-1) from the edit's number, kept within the range.
    void Step(int nDelta);

protected:
    bool eventFilter(QObject* pObject, QEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    QWidget* m_pUp;
    QWidget* m_pDown;
    QLineEdit* m_pBuddy = nullptr;
    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nPos = 0;
};
