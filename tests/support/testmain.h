#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QLocale>
#include <QTest>

#include "ui.h"

// Runs a Qt Test class under a QApplication with the program's title and an English
// (United States) number format, whatever the machine's locale.
#define SONDREL_TEST_MAIN(TestClass)                                                                \
    int main(int argc, char **argv)                                                                 \
    {                                                                                               \
        QApplication app(argc, argv);                                                               \
        QApplication::setApplicationName(QStringLiteral("Sondrel"));                                \
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));                      \
        sondrel::loadFallbackFonts();                                                               \
        TestClass test;                                                                             \
        return QTest::qExec(&test, argc, argv);                                                     \
    }

// The same for suites that make no window and need no GUI: a QCoreApplication, the same
// title and number format.
#define SONDREL_TEST_MAIN_CORE(TestClass)                                                           \
    int main(int argc, char **argv)                                                                 \
    {                                                                                               \
        QCoreApplication app(argc, argv);                                                           \
        QCoreApplication::setApplicationName(QStringLiteral("Sondrel"));                            \
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));                      \
        TestClass test;                                                                             \
        return QTest::qExec(&test, argc, argv);                                                     \
    }
