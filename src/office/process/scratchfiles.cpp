#include "office/process/scratchfiles_p.h"

#include "core/scratchfolders.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>

#include <csignal>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace tessivane {

namespace {

constexpr char kProfilePrefix[] = "tessivane-office-";

// Settings of the private profile: no document locking, so no lock files beside the
// documents (a killed instance would leave stale ones that make later loads fail), no autosave or
// recovery data, and US English whatever the user's locale: the office reads the template's
// built-in date and percent formats as those of its own locale and saves them so, dd/mm/yyyy and
// 0.00 % in a German session.
constexpr char kProfileSettings[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="UseLocking" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="UseDocumentOOoLockFile" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="UseDocumentSystemFileLocking" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Recovery/AutoSave"><prop oor:name="Enabled" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Recovery/RecoveryInfo"><prop oor:name="Enabled" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Setup/L10N"><prop oor:name="ooSetupSystemLocale" oor:op="fuse"><value>en-US</value></prop></item>
<item oor:path="/org.openoffice.Setup/L10N"><prop oor:name="ooLocale" oor:op="fuse"><value>en-US</value></prop></item>
</oor:items>
)";

/// The socket file behind a named UNO pipe. The office removes it when it ends normally;
/// after a killed one it stays.
QStringList PipeFiles(const QString& pipeName)
{
    const QString name = QStringLiteral("OSL_PIPE_%1_%2").arg(getuid()).arg(pipeName);
    return {QStringLiteral("/tmp/") + name, QStringLiteral("/var/tmp/") + name};
}

/// The office's own single-instance pipe of a profile: "SingleOfficeIPC_" and the MD5 of the
/// profile's URL in UTF-16, each byte in hexadecimal without leading zeros.
QString InstancePipeName(const QString& profileUrl)
{
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray(reinterpret_cast<const char*>(profileUrl.utf16()), profileUrl.size() * 2),
        QCryptographicHash::Md5);
    QString name = QStringLiteral("SingleOfficeIPC_");
    for (const char byte : digest)
        name += QString::number(quint8(byte), 16);
    return name;
}

/// The program id that one of our pipe names carries ("tessivane-<pid>-<n>-<hex>"), or 0.
qint64 PipeNamePid(const QString& pipeName)
{
    static const QRegularExpression pattern(
        QStringLiteral("^tessivane-([1-9][0-9]{0,9})-[0-9]+-[0-9a-f]{8}$"));
    const QRegularExpressionMatch match = pattern.match(pipeName);
    return match.hasMatch() ? match.captured(1).toLongLong() : 0;
}

} // namespace

void removePipeFiles(const QString& pipeName)
{
    for (const QString& path : PipeFiles(pipeName)) {
        struct stat info;
        const QByteArray file = QFile::encodeName(path);
        // Only a socket of this user: never a link, nor anyone else's file.
        if (lstat(file.constData(), &info) == 0 && S_ISSOCK(info.st_mode)
            && info.st_uid == geteuid())
            ::unlink(file.constData());
    }
}

QString profileUrl(const QString& folder)
{
    return QUrl::fromLocalFile(folder).toString(QUrl::FullyEncoded);
}

QString makeProfile()
{
    QString profile;
    try {
        profile = makeScratchFolder(QDir::tempPath(), QString::fromLatin1(kProfilePrefix));
    } catch (const std::runtime_error&) {
        throw std::runtime_error(
            QStringLiteral("A profile folder for LibreOffice cannot be made in %1.")
                .arg(QDir::tempPath())
                .toStdString());
    }
    QDir(profile).mkpath(QStringLiteral("user"));
    QDir(profile).mkpath(QStringLiteral("tmp"));
    QFile settingsFile(profile + QStringLiteral("/user/registrymodifications.xcu"));
    if (settingsFile.open(QIODevice::WriteOnly))
        settingsFile.write(kProfileSettings);
    return profile;
}

void removeProfile(const QString& folder)
{
    if (folder.isEmpty())
        return;
    removeOwnFolder(folder);
    removePipeFiles(InstancePipeName(profileUrl(folder)));
}

void removeStaleProfiles()
{
    const QString osl = QStringLiteral("OSL_PIPE_%1_").arg(getuid());
    for (const char* folder : {"/tmp", "/var/tmp"}) {
        const QStringList pipes
            = QDir(QString::fromLatin1(folder))
                  .entryList({osl + "tessivane-*"}, QDir::System | QDir::Hidden);
        for (const QString& name : pipes) {
            const QString pipeName = name.mid(osl.size());
            if (processIsGone(PipeNamePid(pipeName)))
                removePipeFiles(pipeName);
        }
    }
    const QStringList removed
        = removeLeftoverScratchFolders(QDir::tempPath(), QString::fromLatin1(kProfilePrefix));
    for (const QString& profile : removed)
        removePipeFiles(InstancePipeName(profileUrl(profile)));
}

} // namespace tessivane
