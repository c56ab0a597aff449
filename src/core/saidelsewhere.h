#pragma once

class QWidget;

namespace tessivane {

/// Keeps a widget out of what a screen reader reads, because another control says the same
/// (the labels over the grid repeat its column headings): its accessible interface tells it is
/// not showing.
void keepFromScreenReaders(QWidget* widget);

} // namespace tessivane
