#pragma once
// main() for widget tests: the real application object, with the program's
// title for its error boxes. An error that reaches TApplication::notify
// passed a handler's boundary and was thrown through Qt: the run fails.

#include "Application.h"

#include <QtTest>
#include <cstdio>

inline int RunTestObject(QObject& Tests, int argc, char** argv) {
    const int failed = QTest::qExec(&Tests, argc, argv);
    if (const int escaped = TApplication::TakeEscapedErrors()) {
        std::fprintf(stderr, "FAIL: %d error(s) crossed Qt's event delivery\n", escaped);
        return failed ? failed : 1;
    }
    return failed;
}

#define VMR_TEST_MAIN(TestClass)                                                                   \
    int main(int argc, char** argv) {                                                              \
        TApplication app(argc, argv);                                                              \
        TApplication::SetTitle(QStringLiteral("Vellomar "));                                       \
        TestClass tc;                                                                              \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return RunTestObject(tc, argc, argv);                                                      \
    }
