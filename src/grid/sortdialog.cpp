// The real Sort Rows dialog: up to three keys, each a column and a direction, and whether only
// the selected rows are sorted.
#include "grid/listeditor.h"

#include "inventory/inventoryfields.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include <array>

namespace tessivane {

std::optional<SortRequest> QtListDialogs::sortRequest(
    QWidget* parent, const SortRequest& last, bool rowsSelected)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Sort Rows"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* keysBox = new QGroupBox(QStringLiteral("Sort by"), &dialog);
    auto* grid = new QGridLayout(keysBox);
    std::array<QComboBox*, 3> columns {};
    std::array<QComboBox*, 3> directions {};
    for (int k = 0; k < 3; ++k) {
        auto* label = new QLabel(QStringLiteral("Key &%1:").arg(k + 1), keysBox);
        columns[k] = new QComboBox(keysBox);
        directions[k] = new QComboBox(keysBox);
        label->setBuddy(columns[k]);
        columns[k]->setAccessibleName(QStringLiteral("Sort key %1 column").arg(k + 1));
        directions[k]->setAccessibleName(QStringLiteral("Sort key %1 direction").arg(k + 1));
        if (k > 0)
            columns[k]->addItem(QStringLiteral("- none -"), -1);
        for (int field = 0; field < int(kInventoryFields.size()); ++field)
            columns[k]->addItem(QString::fromUtf8(kInventoryFields[field].name), field);
        directions[k]->addItem(QStringLiteral("Ascending"), false);
        directions[k]->addItem(QStringLiteral("Descending"), true);
        if (k < last.keys.size()) {
            columns[k]->setCurrentIndex(columns[k]->findData(last.keys[k].field));
            directions[k]->setCurrentIndex(last.keys[k].descending ? 1 : 0);
        }
        grid->addWidget(label, k, 0);
        grid->addWidget(columns[k], k, 1);
        grid->addWidget(directions[k], k, 2);
    }
    layout->addWidget(keysBox);
    auto* whole = new QRadioButton(QStringLiteral("The &whole list"), &dialog);
    auto* selection = new QRadioButton(QStringLiteral("The &selected rows only"), &dialog);
    selection->setEnabled(rowsSelected);
    (rowsSelected && last.selectedRowsOnly ? selection : whole)->setChecked(true);
    layout->addWidget(whole);
    layout->addWidget(selection);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    columns[0]->setFocus();
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    SortRequest request;
    for (int k = 0; k < 3; ++k) {
        const int field = columns[k]->currentData().toInt();
        if (field >= 0)
            request.keys.append({field, directions[k]->currentData().toBool()});
    }
    request.selectedRowsOnly = selection->isChecked();
    return request;
}

} // namespace tessivane
