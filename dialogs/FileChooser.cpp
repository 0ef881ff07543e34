#include "dialogs/FileChooser.h"

#include "framework/FileDialogs.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QSortFilterProxyModel>

namespace {

FileChooserFn& Chooser() {
    static FileChooserFn s_fn;
    return s_fn;
}

// Shows folders and executable files while the executable filter is selected.
class CExecutableProxy : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void SetOnlyExecutables(bool bOnly) {
        m_bOnlyExecutables = bOnly;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int nRow, const QModelIndex& parent) const override {
        const auto* pModel = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!m_bOnlyExecutables || !pModel)
            return true;
        const QFileInfo info = pModel->fileInfo(pModel->index(nRow, 0, parent));
        return info.isDir() || info.isExecutable();
    }

private:
    bool m_bOnlyExecutables = false;
};

QString RunFileDialog(QWidget* pOwner, const SFileRequest& request) {
    CFileDialog dlg(pOwner);
    dlg.setAcceptMode(request.m_bSave ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(request.m_bSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, request.m_bSave);
    dlg.setNameFilters(request.m_arNameFilters);
    if (!request.m_arNameFilters.isEmpty())
        dlg.selectNameFilter(request.m_arNameFilters.first());
    if (request.m_bExecutables) {
        // Only the program's own dialog takes a proxy; the filter needs it.
        dlg.setOption(QFileDialog::DontUseNativeDialog);
        auto* pProxy = new CExecutableProxy(&dlg);
        dlg.setProxyModel(pProxy);
        QObject::connect(&dlg, &QFileDialog::filterSelected, pProxy, [pProxy](const QString& str) {
            pProxy->SetOnlyExecutables(str == QLatin1String(EXECUTABLE_FILES_FILTER));
        });
    }
    PrepareFileDialog(dlg, QString());
    if (dlg.exec() != QDialog::Accepted)
        return {};
    return QDir::toNativeSeparators(ChosenFileName(dlg));
}

} // namespace

QStringList QtNameFilters(const QString& strFilter) {
    QStringList arFilters;
    const QStringList arParts = strFilter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < arParts.size(); i += 2) {
        QString strName = arParts[i].trimmed();
        if (strName.isEmpty() || arParts[i + 1].isEmpty())
            break; // two separators in a row end the list
        QStringList arPatterns;
        for (const QString& str : arParts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString strPattern = str.trimmed();
            if (!strPattern.isEmpty())
                arPatterns << (strPattern == QLatin1String("*.*") ? QStringLiteral("*")
                                                                  : strPattern);
        }
        if (arPatterns.isEmpty())
            continue;
        // The shown name may carry its patterns already ("csv(*.csv)"); Qt adds its own.
        if (strName.endsWith(QLatin1Char(')')) && strName.contains(QLatin1Char('(')))
            strName = strName.left(strName.lastIndexOf(QLatin1Char('('))).trimmed();
        arFilters << strName + QStringLiteral(" (") + arPatterns.join(QLatin1Char(' ')) +
                         QLatin1Char(')');
    }
    return arFilters;
}

QString ChooseFile(QWidget* pOwner, const QString& strFilter, bool bSave, bool bOfferExecutables) {
    SFileRequest request;
    request.m_bSave = bSave;
    request.m_arNameFilters = QtNameFilters(strFilter);
    if (bOfferExecutables && !bSave) {
        request.m_bExecutables = true;
        request.m_arNameFilters.insert(qMin<qsizetype>(1, request.m_arNameFilters.size()),
                                       QString::fromLatin1(EXECUTABLE_FILES_FILTER));
    }
    return Chooser() ? Chooser()(pOwner, request) : RunFileDialog(pOwner, request);
}

void SetFileChooser(FileChooserFn fn) {
    Chooser() = std::move(fn);
}
