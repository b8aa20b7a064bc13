#pragma once
// main() for widget tests: the real application object, so that errors that
// escape event handlers reach the error box as they do in the program.

#include "Application.h"

#include <QtTest>

#define VMR_TEST_MAIN(TestClass)                                                                   \
    int main(int argc, char** argv) {                                                              \
        TApplication app(argc, argv);                                                              \
        TApplication::SetTitle(QStringLiteral("Vellomar "));                                       \
        TestClass tc;                                                                              \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
