#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

namespace tessivane {

/// The display format object of the money columns (the StdDataFormat "MyFmt"). The grid asks
/// it for the display text of each cell of a column it is attached to; the handler connected
/// to formatRequested (directly: the argument is a reference) replaces the value with the
/// text to show and may leave it unchanged.
class DataFormat : public QObject
{
    Q_OBJECT

public:
    explicit DataFormat(QObject* parent = nullptr);

    /// Format type (1 = custom) and format text ("Currency"); kept for the caller's set-up.
    int Type = 0;
    QString Format;

    /// Raises formatRequested for one value and returns what the handler left in it.
    QVariant FormatValue(QVariant value);

signals:
    void formatRequested(QVariant& dataValue);
};

} // namespace tessivane
