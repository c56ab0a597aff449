#pragma once

#include "inventory/listsearch.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

namespace tessivane {

class DataGrid;
class FindDialog;
class ListEditor;
class ShownTexts;

/// What the find dialog holds: the text and its options, the column (-1: every column),
/// whether only the selected cells are searched, and the replacement.
struct FindRequest
{
    FindOptions options;
    int field = -1;
    bool selectionOnly = false;
    QString replacement;
};

/// Find and replace in the grid: Find Next and Find Previous move the grid's current cell to
/// the next matching cell, wrapping at the ends; Find All selects every match; Replace and
/// Replace All change the matching cells as one step of the history, each new value checked as
/// a typed one. What happened is said in the dialog (status), a refusal once in a message.
class ListFinder : public QObject
{
    Q_OBJECT

public:
    ListFinder(DataGrid& grid, ListEditor& editor);
    ~ListFinder() override;

    /// Opens (or raises) the non-modal dialog, with the replacement when replacing.
    void showDialog(bool replacing);
    /// The dialog, once opened.
    FindDialog* dialog() const;

    /// The search the next command makes (the dialog sets it as the user changes it).
    void setRequest(const FindRequest& request) { mRequest = request; }
    const FindRequest& request() const { return mRequest; }

    /// Each returns whether it found (or replaced) anything.
    bool findNext();
    bool findPrevious();
    /// Selects every match; their number.
    int findAll();
    /// Replaces the current cell when it matches, then finds the next match.
    bool replace();
    /// Replaces every match in the list (or the selection); the number of values replaced.
    int replaceAll();

    /// What the last command found, as the dialog shows it.
    QString status() const { return mStatus; }

    /// While locked the list cannot be changed: no replacing.
    void setLocked(bool locked);

signals:
    void statusChanged(const QString& status);

private:
    bool find(bool backward);
    /// The rows, a pending edit stored first; nothing without a list or a text to find.
    std::optional<ListRows> rowsToSearch();
    ListSearch makeSearch(const ListRows& rows) const;
    void moveTo(const QPoint& cell);
    void setStatus(const QString& status);

    DataGrid& mGrid;
    ListEditor& mEditor;
    QPointer<FindDialog> mDialog;
    ShownTexts* mShown;
    FindRequest mRequest;
    QString mStatus;
};

} // namespace tessivane
