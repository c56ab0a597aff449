#include "core/rememberedfolders.h"

#include "core/windowplacement.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <memory>

namespace tessivane {

namespace {

QString key(const QString& kind)
{
    return QStringLiteral("Folders/") + kind;
}

std::unique_ptr<QSettings> store()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
        QStringLiteral("Velmora"), QStringLiteral("Tessivane"));
}

} // namespace

QString RememberedFolders::folder(const QString& kind)
{
    const QString kept = store()->value(key(kind)).toString();
    // A folder removed or unmounted since is no place to start from.
    if (!kept.isEmpty() && QFileInfo(kept).isDir())
        return kept;
    return QDir::homePath();
}

void RememberedFolders::remember(const QString& kind, const QString& chosenFile)
{
    if (chosenFile.isEmpty())
        return;
    const std::unique_ptr<QSettings> settings = store();
    if (settingsFileWritable(*settings))
        settings->setValue(key(kind), QFileInfo(chosenFile).absolutePath());
}

} // namespace tessivane
