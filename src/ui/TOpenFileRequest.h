#pragma once

#include <QString>
#include <QStringList>

// What the open-file dialog is asked to show: title, starting folder (empty: the platform
// chooses) and name filters, the first one selected. With MultipleFiles, several existing files
// can be chosen at once; otherwise one name, which need not exist.
struct TOpenFileRequest {
    QString Title;
    QString Folder;
    QStringList Filters;
    bool MultipleFiles = false;
};
