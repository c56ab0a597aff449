#pragma once

#include <QString>

class QWidget;

namespace tessivane {

/// The save-file dialog as the preview's save handler uses it, so that tests can answer it.
class SaveFileDialog
{
public:
    virtual ~SaveFileDialog() = default;

    /// Shows the dialog with the given file name, title and filter ("Description|pattern|"
    /// pairs). Returns the chosen name as typed (no suffix added) or the empty text on cancel.
    virtual QString ShowSave(const QString& fileName, const QString& title, const QString& filter)
        = 0;

    /// The 1-based index of the filter chosen in the last ShowSave; 1 before any.
    virtual int FilterIndex() const { return 1; }
};

/// The real dialog over QFileDialog. It asks no overwrite question of its own, since the
/// caller asks it.
class QtSaveFileDialog : public SaveFileDialog
{
public:
    explicit QtSaveFileDialog(QWidget* parent = nullptr);
    QString ShowSave(const QString& fileName, const QString& title, const QString& filter) override;
    int FilterIndex() const override { return mFilterIndex; }

private:
    QWidget* mParent;
    int mFilterIndex = 1;
};

/// "Excel Files (*.xls)|*.xls|" → "Excel Files (*.xls)": a "|"-separated filter as Qt's
/// ";;"-separated name filters.
QString QtNameFilters(const QString& filter);

} // namespace tessivane
