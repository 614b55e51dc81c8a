#pragma once

#include <QApplication>
#include <QLocale>
#include <QTest>

#include "ui.h"

// Runs a Qt Test class under a QApplication with the program's title and an English
// (United States) number format, whatever the machine's locale.
#define SONDREL_TEST_MAIN(TestClass)                                                                \
    int main(int argc, char **argv)                                                                 \
    {                                                                                               \
        QApplication app(argc, argv);                                                               \
        QApplication::setApplicationName(QStringLiteral("Sondrel"));                         \
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));                      \
        sondrel::loadFallbackFonts();                                                               \
        TestClass test;                                                                             \
        return QTest::qExec(&test, argc, argv);                                                     \
    }
