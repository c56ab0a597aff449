#include "office/connection/unobridge_p.h"

#include <QFileInfo>
#include <QUrl>

#include <string>

namespace tessivane {

rtl::OUString toOUString(const QString& text)
{
    return rtl::OUString(reinterpret_cast<const sal_Unicode*>(text.utf16()), text.size());
}

QString toQString(const rtl::OUString& text)
{
    return QString(reinterpret_cast<const QChar*>(text.getStr()), text.getLength());
}

rtl::OUString fileUrl(const QString& path)
{
    return toOUString(
        QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded));
}

std::string Sentence(const QString& text)
{
    return text.toStdString();
}

css::beans::PropertyValue Property(const char* name, const Any& value)
{
    css::beans::PropertyValue property;
    property.Name = rtl::OUString::createFromAscii(name);
    property.Value = value;
    return property;
}

} // namespace tessivane
