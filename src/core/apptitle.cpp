#include "core/apptitle.h"

#include <QCoreApplication>

namespace tessivane {

namespace {
QString gApplicationTitle = QString::fromLatin1(kProductName);
}

QString ComputeApplicationTitle(const QString& productName)
{
    QString title = productName;
    do {
        const qsizetype blank = title.lastIndexOf(QLatin1Char(' '));
        if (blank < 0)
            break; // nothing to cut at: keep the name as it is
        title = title.left(blank);
    } while (title.size() > 40);
    return title;
}

void SetApplicationTitle()
{
    gApplicationTitle = ComputeApplicationTitle(QString::fromLatin1(kProductName));
}

QString ApplicationTitle()
{
    return gApplicationTitle;
}

QString InstallationFolder()
{
    return QCoreApplication::applicationDirPath();
}

} // namespace tessivane
