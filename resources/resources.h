#pragma once

#include <QByteArray>

namespace tessivane {

/// The carried template workbook, whole.
QByteArray TemplateBytes();

} // namespace tessivane
