#pragma once

#include <QString>
#include <QStringList>

// Runs a program to its end within 30 seconds, its output passed through; whether it ended
// with 0.
bool RunToEnd(const QString& program, const QStringList& arguments);
