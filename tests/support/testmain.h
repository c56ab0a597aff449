#pragma once

// main() of every Qt Test program: a private settings folder, the offscreen platform before the
// application exists, English (United States) as the default locale.

#include <QCoreApplication>
#ifdef QT_WIDGETS_LIB
#include <QApplication>
#endif
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

namespace tessivane::test {

template <typename App, typename TestClass> int RunTests(int argc, char** argv)
{
    QTemporaryDir configFolder;
    qputenv("XDG_CONFIG_HOME", configFolder.path().toUtf8());
    qputenv("XDG_RUNTIME_DIR", configFolder.path().toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    App app(argc, argv);
    if constexpr (requires { app.setQuitOnLastWindowClosed(false); })
        app.setQuitOnLastWindowClosed(false); // a closed window never ends a test program
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    TestClass test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace tessivane::test

/// A test of widgets.
#define TESSIVANE_TEST_MAIN(TestClass)                                                             \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        return tessivane::test::RunTests<QApplication, TestClass>(argc, argv);                     \
    }

/// A test of a room without widgets.
#define TESSIVANE_CORE_TEST_MAIN(TestClass)                                                        \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        return tessivane::test::RunTests<QCoreApplication, TestClass>(argc, argv);                 \
    }
