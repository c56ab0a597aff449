#pragma once

#include <QByteArray>
#include <QString>

namespace tessivane {

/// The whole content of a compiled-in resource, e.g. ":/template.xlt".
/// Throws std::runtime_error naming the resource when the executable does not carry it.
QByteArray ResourceBytes(const QString& path);

/// The equipment inventory template workbook (an Excel 97-2003 .xlt) the program carries,
/// byte for byte as built from resources/build_template.py. Throws std::runtime_error if the
/// executable was built without it.
QByteArray templateBytes();

} // namespace tessivane
