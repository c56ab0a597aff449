#include "resources/resources.h"

#include <QFile>

#include <stdexcept>

namespace tessivane {

QByteArray TemplateBytes()
{
    QFile file(QStringLiteral(":/template.xlt"));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("The template workbook is missing from the program.");
    return file.readAll();
}

} // namespace tessivane
