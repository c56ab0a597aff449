#pragma once

#include <QVariant>

#include <array>

namespace tessivane {

/// The values of one of the two sample rows (1 or 2), field by field.
using SampleRow = std::array<QVariant, 13>;
SampleRow sampleRowValues(int which);

/// Whether a field value counts as filled: not Null, not empty text, not equal to zero (a text
/// that reads as a number is compared as that number).
bool isFilled(const QVariant& value);

} // namespace tessivane
