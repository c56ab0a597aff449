#include "app/homepage.h"

#include "core/apptitle.h"

#include <QDesktopServices>
#include <QRandomGenerator>
#include <QTime>
#include <QUrl>

namespace tessivane {

void MaybeOpenHomePage(const std::function<int()>& draw)
{
    int n = 0;
    if (draw) {
        n = draw();
    } else {
        // Seeded from the seconds since midnight, as the start-up always was.
        QRandomGenerator generator(
            static_cast<quint32>(QTime::currentTime().msecsSinceStartOfDay()));
        n = static_cast<int>(generator.generateDouble() * 100) + 1;
    }
    if (n == 7)
        QDesktopServices::openUrl(QUrl(QString::fromLatin1(kHomePageAddress)));
}

} // namespace tessivane
