// The compiled-in resources: the template workbook and the program icon.
#include "resources/resources.h"

#include <QFile>
#include <stdexcept>

namespace tessivane {

QByteArray ResourceBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error(
            QStringLiteral("The program's resource %1 is missing.").arg(path).toStdString());
    }
    return file.readAll();
}

QByteArray templateBytes()
{
    return ResourceBytes(QStringLiteral(":/template.xlt"));
}

} // namespace tessivane
