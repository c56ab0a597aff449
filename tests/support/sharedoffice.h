#pragma once

// The set-up the office tests share: one office for the functions that only read.

#include "support/officetemplate.h"

#include <QTemporaryDir>

namespace tessivane::test {

/// What an office test class inherits beside QObject: scripted boxes, Services of its own, a
/// private folder, an office started once for the functions that only read and the test
/// template copied into the folder. Its test class calls startSharedOffice() in initTestCase,
/// resetOfficeSettings() in init and endSharedOffice() in cleanupTestCase.
class SharedOffice
{
protected:
    void startSharedOffice()
    {
        QVERIFY(mFolder.isValid());
        mApp = createApplication(mServices);
        mTemplate = TestTemplate(mFolder.path(), *mApp, &mRealTemplate);
    }

    /// Ends the shared office and checks that nothing of any office is left.
    void endSharedOffice()
    {
        if (mApp)
            mApp->Quit();
        mApp.reset();
        mServices.releases->waitForAll();
        QCOMPARE(Leftovers(), QStringList());
        QCOMPARE(Children().size(), 0);
    }

    void resetOfficeSettings() { ResetOfficeSettings(mServices, mMessages); }

    ScriptedBoxes mMessages;
    Services mServices;
    QTemporaryDir mFolder;
    QString mTemplate;
    /// Whether mTemplate is the carried template, not a stand-in.
    bool mRealTemplate = false;
    ApplicationPtr mApp;
};

} // namespace tessivane::test
