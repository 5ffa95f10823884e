#include "app/qt/file_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace tarvik {

QStringList dialogNameFilters(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        if (description.isEmpty()) break;  // the closing "||"
        const QString patterns = QString(parts[i + 1]).replace(';', ' ');
        filters << (description.contains('(') ? description : description + " (" + patterns + ")");
    }
    return filters;
}

DialogStart dialogStart(const std::string& initialName) {
    DialogStart start;
    if (initialName.empty()) return start;
    const QString name = QString::fromStdString(initialName);
    const QFileInfo info(name);
    if (info.isDir()) {
        start.folder = info.absoluteFilePath();
        return start;
    }
    const bool hasFolder = name.contains('/') || name.contains(QDir::separator());
    start.folder = hasFolder ? info.absolutePath() : QDir::currentPath();
    if (!QFileInfo(start.folder).isDir()) start.usable = false;
    const QString file = info.fileName();
    if (!file.contains('*') && !file.contains('?')) start.file = file;
    return start;
}

OpenFileResult runFileDialog(QWidget* parent, const OpenFileRequest& request) {
    const DialogStart start = dialogStart(request.initialName);
    if (!start.usable) return OpenFileResult::failed();

    QFileDialog dialog(parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(request.forSaving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.fileMustExist && !request.forSaving ? QFileDialog::ExistingFile
                                                                   : QFileDialog::AnyFile);
    if (request.readOnly) dialog.setOption(QFileDialog::ReadOnly);
    if (!request.defaultExtension.empty()) dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    const QStringList filters = dialogNameFilters(request.filter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (!start.folder.isEmpty()) dialog.setDirectory(start.folder);
    if (!start.file.isEmpty()) dialog.selectFile(start.file);

    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return OpenFileResult::cancelled();
    return OpenFileResult::chosen(dialog.selectedFiles().first().toStdString());
}

} // namespace tarvik
