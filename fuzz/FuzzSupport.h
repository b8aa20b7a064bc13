#pragma once
// Shared by the harnesses: the application object a reader needs, made once
// and without a display, and the check that turns a broken promise of a
// reader into a finding.

#include <QCoreApplication>
#include <QGuiApplication>
#include <QString>
#include <cstdio>
#include <cstdlib>

enum class TFuzzApp { Core, Gui };

inline void StartFuzzApp(TFuzzApp Kind) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    // Kept for the whole run, reachable from here, so no leak is reported.
    static QCoreApplication* app =
        Kind == TFuzzApp::Gui ? new QGuiApplication(argc, argv) : new QCoreApplication(argc, argv);
    (void)app;
}

[[noreturn]] inline void FuzzFailed(const char* What, const char* File, int Line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", File, Line, What);
    std::abort();
}

#define FUZZ_CHECK(Cond)                                                                           \
    do {                                                                                           \
        if (!(Cond))                                                                               \
            FuzzFailed(#Cond, __FILE__, __LINE__);                                                 \
    } while (false)

