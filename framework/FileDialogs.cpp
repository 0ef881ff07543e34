#include "framework/FileDialogs.h"

#include "platform/FileNames.h"

#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLocale>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QTreeView>

#include <climits>
#include <sys/stat.h>

namespace {

// Columns of Qt's detailed view: name, size, type, date modified.
constexpr int NAME_COLUMN_CHARS = 36;
constexpr int MIN_VISIBLE_ROWS = 16;
// The dialog leaves this share of the screen for the window frame and the desktop's panels.
constexpr double MAX_SCREEN_SHARE = 0.92;

// The width a column needs: its title, and the widest text it shows. The name column is
// given what room is left, NAME_COLUMN_CHARS characters at most.
int ColumnNeed(const QHeaderView* pHeader, const QFontMetrics& fm, int nColumn) {
    const int nPadding = 2 * fm.averageCharWidth() + 8;
    QString strSample;
    switch (nColumn) {
    case 0:
        return pHeader->sectionSizeHint(0);
    case 1:
        strSample = QStringLiteral("1,023.9 KiB");
        break;
    case 2:
        strSample = QStringLiteral("Executable File");
        break;
    default:
        // As Qt's file model writes the time a file was modified.
        strSample = QLocale::system().toString(QDateTime(QDate(2000, 12, 28), QTime(23, 58, 58)),
                                               QLocale::ShortFormat);
        break;
    }
    return qMax(pHeader->sectionSizeHint(nColumn), fm.horizontalAdvance(strSample) + nPadding);
}

// Widens the columns and then the dialog, once its layout has placed the list.
class CColumnFitter : public QObject {
public:
    CColumnFitter(QFileDialog* pDlg, QTreeView* pTree) : QObject(pDlg), m_pTree(pTree) {
        pDlg->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* pObject, QEvent* pEvent) override {
        if (pEvent->type() == QEvent::Show) {
            Fit(static_cast<QFileDialog*>(pObject));
            pObject->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }

private:
    void Fit(QFileDialog* pDlg) {
        QHeaderView* pHeader = m_pTree->header();
        const QFontMetrics fm(m_pTree->font());
        QScreen* pScreen = pDlg->screen() ? pDlg->screen() : QGuiApplication::primaryScreen();
        const QSize room = pScreen ? pScreen->availableGeometry().size() * MAX_SCREEN_SHARE
                                   : QSize(INT_MAX, INT_MAX);
        // What the dialog has beside the list's columns: the side bar, margins, the bar.
        const int nBesides = pDlg->width() - m_pTree->viewport()->width() +
                             m_pTree->verticalScrollBar()->sizeHint().width();
        int nOthers = 0;
        for (int i = 1; i < pHeader->count(); ++i) {
            if (pHeader->isSectionHidden(i))
                continue;
            pHeader->resizeSection(i, qMax(pHeader->sectionSize(i), ColumnNeed(pHeader, fm, i)));
            nOthers += pHeader->sectionSize(i);
        }
        const int nNameWanted =
            qMax(ColumnNeed(pHeader, fm, 0), qMin(fm.averageCharWidth() * NAME_COLUMN_CHARS,
                                                  room.width() - nBesides - nOthers));
        pHeader->resizeSection(0, qMax(pHeader->sectionSize(0), nNameWanted));
        const int nRow = qMax(fm.height() + 4, m_pTree->sizeHintForRow(0));
        QSize size(qMax(pDlg->width(), nBesides + pHeader->sectionSize(0) + nOthers),
                   pDlg->height() +
                       qMax(0, nRow * MIN_VISIBLE_ROWS - m_pTree->viewport()->height()));
        pDlg->resize(size.boundedTo(room).expandedTo(pDlg->minimumSize()));
    }

    QTreeView* m_pTree;
};

bool IsFolder(const QString& strPath) {
    return QFileInfo(strPath).isDir();
}

// What the name is on disk, by its bytes: 0 none, 1 a folder, 2 anything else.
int KindOnDisk(const QString& strPath) {
    struct stat st {};
    if (stat(PlatformFileNameBytes(strPath).constData(), &st) != 0)
        return 0;
    return S_ISDIR(st.st_mode) ? 1 : 2;
}

} // namespace

void CFileDialog::accept() {
    const QStringList arFiles = selectedFiles();
    const QString strShown = arFiles.size() == 1 ? arFiles.constFirst() : QString();
    const QString strPath = PlatformResolveShownFileName(strShown);
    // Names Qt can reach, folders (Qt opens them) and new names keep Qt's own handling.
    if (strPath == strShown || KindOnDisk(strPath) != 2) {
        QFileDialog::accept();
        return;
    }
    if (acceptMode() == AcceptSave && !testOption(DontConfirmOverwrite)) {
        QMessageBox box(QMessageBox::Warning, windowTitle(),
                        QStringLiteral("%1 already exists.\nDo you want to replace it?")
                            .arg(PlatformReadableFileName(QFileInfo(strPath).fileName())),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes)
            return;
    }
    QDialog::accept();
}

QString ShownFileName(const QString& strName) {
    return QString::fromUtf8(PlatformFileNameBytes(strName));
}

void PrepareFileDialog(QFileDialog& dlg, const QString& strFolder) {
    // Qt reaches a folder only by its UTF-8 name; one whose name is not UTF-8 is shown from
    // the nearest folder above it that Qt can reach.
    QString strStart = PlatformAbsoluteFileName(strFolder);
    while (!strStart.isEmpty() && strStart != QLatin1String("/") &&
           (PlatformFileNameHasRawBytes(strStart) || !IsFolder(strStart)))
        strStart = QFileInfo(strStart).absolutePath();
    if (!strStart.isEmpty())
        dlg.setDirectory(strStart);
    if (auto* pTree = dlg.findChild<QTreeView*>(QStringLiteral("treeView")))
        new CColumnFitter(&dlg, pTree);
}

QString ChosenFileName(const QFileDialog& dlg) {
    const QStringList arFiles = dlg.selectedFiles();
    return arFiles.isEmpty() ? QString() : PlatformResolveShownFileName(arFiles.constFirst());
}
