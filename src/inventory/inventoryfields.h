#pragma once

#include <array>

namespace tessivane {

/// The kinds of value an inventory field holds.
enum class FieldType { Text, Integer, Currency, Date };

/// One field of the inventory row: its exact name, type, size (characters for text, 0 = the
/// type's natural size) and the width of its grid column in twips.
struct FieldDef
{
    const char* name;
    FieldType type;
    int size;
    float gridWidth;
};

/// The thirteen fields of the inventory row, in field order (0 to 12).
extern const std::array<FieldDef, 13> kInventoryFields;

/// Field numbers the program refers to by meaning.
enum InventoryField : int {
    kAssetNumber = 0,
    kInitialValue = 6,
    kDownPayment = 7,
    kDatePurchased = 8,
    kLoanRate = 10,
    kOperatingCosts = 11,
    kEndValue = 12,
};

/// The grid columns that show money through the currency data format, in set-up order.
inline constexpr std::array<int, 4> kCurrencyColumns {6, 7, 11, 12};

/// The worksheet column (1-based) of each field in the generated workbook: A to K, M and O.
inline constexpr std::array<int, 13> kSheetColumnOfField {
    1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15};
/// The generated workbook's first row of inventory rows, and the name of its one sheet.
inline constexpr int kSheetFirstRow = 4;
inline constexpr const char* kSheetName = "Equipment Inventory List";

/// The grid's row height in twips.
inline constexpr float kGridRowHeight = 300.0f;

} // namespace tessivane
