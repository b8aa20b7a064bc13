#pragma once
// Tells the benchmark that started this process when the first window of a
// class paints: one line on standard output, then the process ends at once.

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

class TFirstPaintProbe : public QObject {
public:
    explicit TFirstPaintProbe(const char* ClassName) : FClassName(ClassName) {
        qApp->installEventFilter(this);
    }
    bool eventFilter(QObject* O, QEvent* E) override {
        if (E->type() == QEvent::Paint && O->inherits(FClassName)) {
            std::fputs("painted\n", stdout);
            std::fflush(stdout);
            std::_Exit(0);
        }
        return false;
    }

private:
    const char* FClassName;
};
