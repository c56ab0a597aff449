#pragma once

// The buffered cell writes of one instance: puts are kept and written as few rectangular
// blocks as cover them, before the next other call into the instance. Private to the layer.

#include "office/connection/unobridge_p.h"

#include <QDate>
#include <QVariant>

#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/table/XCellRange.hpp>

#include <functional>
#include <memory>
#include <optional>

namespace tessivane {

class OfficeInstance;
struct DocumentState;
struct SheetState;

/// A cell value waiting to be written.
struct CellValue
{
    enum Kind { Empty, Text, Number, Date } kind = Empty;
    double number = 0;
    rtl::OUString text;
};

/// The value a cell gets from a QVariant (see Worksheet::PutCell); throws for a type or value
/// that no cell can hold.
CellValue toCellValue(int row, int column, const QVariant& value);

/// The 1900 date system's serial of a date.
double dateSerial(const QDate& date);

/// Runs change with the document's views not redrawn and, with keepRowHeights, its rows' best
/// heights not worked out at each step (the rows keep or later get set heights). Both are as
/// before afterwards, also when change throws.
void heldStill(const Reference<css::frame::XModel>& model, bool keepRowHeights,
    const std::function<void()>& change);

class CellWriter
{
public:
    explicit CellWriter(OfficeInstance& instance)
        : mInstance(instance)
    { }

    /// Keeps one cell value; writes at once when buffering is off or too much is kept.
    void put(const std::shared_ptr<SheetState>& sheet, int row, int column, CellValue value);

    bool hasPending() const { return mPendingCount > 0 && !mFlushing; }

    /// How many puts this writer has taken: what was found out about a sheet before holds
    /// while this stays the same.
    quint64 putCount() const { return mPutCount; }

    /// Writes every kept value (each document under locked controllers).
    void flush();

    /// Forgets what is kept (the instance is ending).
    void clear() { mPendingCount = 0; }

private:
    void flushSheet(const std::shared_ptr<DocumentState>& document, SheetState& sheet);
    void writeCellsDirectly(const std::shared_ptr<DocumentState>& document, SheetState& sheet);
    void applyDateFormat(const std::shared_ptr<DocumentState>& document,
        const Reference<css::table::XCellRange>& range);
    std::optional<css::lang::Locale> generalLocale(DocumentState& document, sal_Int32 key);
    sal_Int32 dateKey(DocumentState& document, const css::lang::Locale& locale);

    OfficeInstance& mInstance;
    bool mFlushing = false;
    size_t mPendingCount = 0;
    quint64 mPutCount = 0;
};

} // namespace tessivane
