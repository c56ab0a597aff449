#pragma once

// The template the office tests work on, and the set-up they share.

#include "support/officeprocesses.h"
#include "support/scriptedboxes.h"

#include "office/services/backgroundreleases.h"
#include "office/services/libreoffice.h"
#include "office/services/services.h"

#include <QTest>

#include <QFile>
#include <QString>

namespace tessivane::test {

/// A copy of the carried template in folder (compiled in, or the checked-in file; real is then
/// true), else a stand-in that app saves from the test data.
inline QString TestTemplate(const QString& folder, Application& app, bool* real = nullptr)
{
    for (const QString& candidate :
        {QStringLiteral(":/template.xlt"), QStringLiteral(SOURCE_DIR "/resources/template.xlt")}) {
        if (QFile::exists(candidate)) {
            const QString copy = folder + QStringLiteral("/template.xlt");
            QFile::copy(candidate, copy);
            if (real)
                *real = true;
            return copy;
        }
    }
    if (real)
        *real = false;
    const QString standin = folder + QStringLiteral("/standin.xls");
    auto book = app.workbooks().Open(QStringLiteral(TESTS_DIR "/data/standin.fods"));
    book->SaveAs(standin, 56);
    book->Close();
    return standin;
}

/// The layer's limits and program back to their defaults, no box seen yet: before each test.
inline void ResetOfficeSettings(Services& services, ScriptedBoxes& boxes)
{
    boxes.calls.clear();
    boxes.during = nullptr;
    services.office = OfficeSettings();
}

} // namespace tessivane::test
