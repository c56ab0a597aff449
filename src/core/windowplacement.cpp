#include "core/windowplacement.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

namespace tessivane {

bool settingsFileWritable(const QSettings& settings)
{
    const QFileInfo file(settings.fileName());
    return !file.exists() || (file.isFile() && file.isReadable());
}

WindowPlacement::WindowPlacement(const QString& name)
    : mName(name)
{ }

WindowPlacement::~WindowPlacement() = default;

std::unique_ptr<QSettings> WindowPlacement::store() const
{
    auto settings = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
        QStringLiteral("Velmora"), QStringLiteral("Tessivane"));
    settings->beginGroup(QStringLiteral("WindowLayout"));
    settings->beginGroup(mName);
    return settings;
}

void WindowPlacement::restore(QWidget* window) const
{
    const std::unique_ptr<QSettings> settings = store();
    const QSize size = settings->value(QStringLiteral("Size")).toSize();
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    // A size from a larger screen is passed over; the window's own least size always fits, as
    // the window takes it anyway.
    const QSize room
        = screen ? screen->availableGeometry().size().expandedTo(window->minimumSize()) : QSize();
    if (size.isValid() && room.isValid() && size.width() <= room.width()
        && size.height() <= room.height())
        window->resize(size.expandedTo(window->minimumSize()));
    if (settings->value(QStringLiteral("Maximized")).toBool())
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
}

void WindowPlacement::keep(const QWidget* window) const
{
    const std::unique_ptr<QSettings> settings = store();
    if (!settingsFileWritable(*settings))
        return;
    const bool maximized = window->isMaximized();
    const QSize size = maximized ? window->normalGeometry().size() : window->size();
    if (size.isValid())
        settings->setValue(QStringLiteral("Size"), size);
    settings->setValue(QStringLiteral("Maximized"), maximized);
}

QList<int> WindowPlacement::values(const QString& key) const
{
    QList<int> numbers;
    const QStringList texts = store()->value(key).toStringList();
    for (const QString& text : texts) {
        bool ok = false;
        const int number = text.toInt(&ok);
        if (!ok)
            return {};
        numbers.append(number);
    }
    return numbers;
}

void WindowPlacement::setValues(const QString& key, const QList<int>& values) const
{
    QStringList texts;
    for (const int value : values)
        texts.append(QString::number(value));
    const std::unique_ptr<QSettings> settings = store();
    if (settingsFileWritable(*settings))
        settings->setValue(key, texts);
}

} // namespace tessivane
