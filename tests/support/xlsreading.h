#pragma once

// Excel 97-2003 files read back by an independent reader (xlrd, through
// tests/office/readxls.py): cell values, types, number formats and the first sheet's view.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

namespace tessivane::test {

/// The workbook as readxls.py prints it, for the cells named ("A4", "L5" ...; columns A to Z),
/// in that order under "cells". Ends the test program when the file cannot be read.
inline QJsonObject ReadXls(const QString& path, const QStringList& cells)
{
    QStringList arguments {QStringLiteral(TESSIVANE_SOURCE_DIR "/tests/office/readxls.py"), path};
    for (const QString& cell : cells)
        arguments << QStringLiteral("%1,%2").arg(cell.mid(1)).arg(cell.at(0).unicode() - 'A' + 1);
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"), arguments);
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0)
        qFatal("readxls failed on %s: %s", qPrintable(path),
            reader.readAllStandardError().constData());
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
}

/// The text of the index-th cell asked for (empty for a cell that holds none).
inline QString CellText(const QJsonObject& book, int index)
{
    return book[QStringLiteral("cells")]
        .toArray()
        .at(index)
        .toObject()[QStringLiteral("value")]
        .toString();
}

} // namespace tessivane::test
