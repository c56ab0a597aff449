#pragma once

#include <QList>
#include <QString>

#include <memory>

class QSettings;
class QWidget;

namespace tessivane {

/// Whether the settings file may be written: not while it is there but cannot be read, since a
/// write would put a new file in place of one whose rows are still to be recovered.
bool settingsFileWritable(const QSettings& settings);

/// Keeps the size a window was given, whether it was maximised, and other values of its layout
/// (such as column widths) for the next start. They live in the program's settings store under
/// a group of their own ("WindowLayout"), apart from the inventory list's keys.
class WindowPlacement
{
public:
    /// name: the window's subgroup ("MainWindow", "Preview").
    explicit WindowPlacement(const QString& name);
    ~WindowPlacement();

    /// Gives the window the size kept last time, and maximises it when it was; a size that no
    /// longer fits the screen's working area is passed over. Call before the window is shown.
    void restore(QWidget* window) const;
    /// Keeps the window's size (the one it has when not maximised) and its maximised state.
    void keep(const QWidget* window) const;

    /// A list of whole numbers kept under key; empty when there is none or it cannot be read.
    QList<int> values(const QString& key) const;
    void setValues(const QString& key, const QList<int>& values) const;

private:
    std::unique_ptr<QSettings> store() const;
    QString mName;
};

} // namespace tessivane
