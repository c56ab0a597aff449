#include "inventory/inventoryfields.h"

namespace tessivane {

const std::array<FieldDef, 13> kInventoryFields {{
    {"Asset or serial number", FieldType::Text, 50, 764.7874f},
    {"Item description(make and model)", FieldType::Text, 600, 1600.0f},
    {"Location", FieldType::Text, 600, 884.9764f},
    {"Condition", FieldType::Text, 1024, 959.8111f},
    {"Vendor", FieldType::Text, 1024, 750.0473f},
    {"Years of service left", FieldType::Integer, 0, 690.8583f},
    {"Initial value", FieldType::Currency, 0, 800.047f},
    {"Down payment", FieldType::Currency, 0, 840.165f},
    {"Date purchased or leased", FieldType::Date, 0, 1005.165f},
    {"Loan term in years", FieldType::Integer, 0, 595.0236f},
    {"Loan rate(%)", FieldType::Integer, 0, 585.0709f},
    {"Monthly operating costs", FieldType::Currency, 0, 1080.0f},
    {"Expected value at end of loan term", FieldType::Currency, 0, 1214.929f},
}};

} // namespace tessivane
