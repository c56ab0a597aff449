#include "core/apptitle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace tessivane {

QString computeApplicationTitle(const QString& productName)
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

QString SetApplicationTitle()
{
    return computeApplicationTitle(QString::fromLatin1(kProductName));
}

QString ApplicationTitle()
{
    // Computed from the fixed product name, so the same from the first box on.
    return SetApplicationTitle();
}

QString installationFolder()
{
    return QCoreApplication::applicationDirPath();
}

QString dataFolder()
{
    // Relative to the executable, so that an installation under any prefix finds its files.
    return QDir::cleanPath(
        installationFolder() + QLatin1Char('/') + QStringLiteral(TESSIVANE_DATA_FROM_BIN));
}

QString programFile(const QString& name)
{
    const QString beside = installationFolder() + QLatin1Char('/') + name;
    if (QFileInfo::exists(beside))
        return beside;
    const QString installed = dataFolder() + QLatin1Char('/') + name;
    return QFileInfo::exists(installed) ? installed : beside;
}

} // namespace tessivane
