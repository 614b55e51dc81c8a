#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include "controls.h"
#include "keptsettings.h"

#include <memory>

namespace sondrel::test {

// The suite's own folder for kept settings, removed when the suite ends.
inline QString settingsFolder()
{
    static const QTemporaryDir folder;
    return folder.path();
}

// An empty store of kept settings of its own, for one window of a test: no window of a
// test starts on what another one kept.
inline std::unique_ptr<KeptSettings> freshSettings()
{
    static int made = 0;
    return std::make_unique<KeptSettings>(settingsFolder() +
                                          QStringLiteral("/kept-%1.conf").arg(++made));
}

} // namespace sondrel::test

// Every suite keeps its settings in a folder of its own, never in the user's: even the
// user's store (QSettings below XDG_CONFIG_HOME) is redirected there before anything
// reads it.
#define SONDREL_TEST_SETTINGS_FOLDER()                                                             \
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(sondrel::test::settingsFolder() + "/user"))

// Runs a Qt Test class under a QApplication with the program's title and an English
// (United States) number format, whatever the machine's locale.
#define SONDREL_TEST_MAIN(TestClass)                                                               \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        SONDREL_TEST_SETTINGS_FOLDER();                                                            \
        QApplication app(argc, argv);                                                              \
        QApplication::setApplicationName(QStringLiteral("Sondrel"));                               \
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));                     \
        sondrel::loadFallbackFonts();                                                              \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }

// The same for suites that make no window and need no GUI: a QCoreApplication, the same
// title and number format.
#define SONDREL_TEST_MAIN_CORE(TestClass)                                                          \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        SONDREL_TEST_SETTINGS_FOLDER();                                                            \
        QCoreApplication app(argc, argv);                                                          \
        QCoreApplication::setApplicationName(QStringLiteral("Sondrel"));                           \
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));                     \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
