#pragma once
// The open-file and folder dialogs behind the view's OpenFileRequest.

#include "app/view_port.h"

#include <QStringList>

class QWidget;

namespace tarvik {

// "Description (*.ext)|*.ext|Other|*.a;*.b||" -> {"Description (*.ext)", "Other (*.a *.b)"}
QStringList dialogNameFilters(const std::string& filter);

// Where a dialog starts: its folder and the file name to preselect. `usable` is
// false when the initial name names a folder that does not exist.
struct DialogStart {
    QString folder;
    QString file;
    bool usable = true;
};
DialogStart dialogStart(const std::string& initialName);

// Shows the dialog modally. Failed when the request cannot be shown as asked
// (an unusable initial name); Cancelled when the user cancels.
OpenFileResult runFileDialog(QWidget* parent, const OpenFileRequest& request);

} // namespace tarvik
