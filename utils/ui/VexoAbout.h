// The About box: the program's name and version, where it runs from, and the look colour.
#pragma once

#include "settings/SetObj.h"

#include <QDialog>
#include <QString>

class CVexoAboutDlg : public QDialog {
    Q_OBJECT
public:
    CVexoAboutDlg(const QString& strExePath, COLORREF clrLook, QWidget* pParent = nullptr);
};

// Shows the About box modally over pParent.
void VexoAbout(const QString& strExePath, COLORREF clrLook, QWidget* pParent);
