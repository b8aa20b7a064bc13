#pragma once
// Modal message boxes with the flag and answer numbers the forms use, the
// error box with the boundary that brings a handler's error to it, and a seam
// that lets window tests answer a box without running its modal loop.

#include <QObject>
#include <QString>
#include <exception>
#include <functional>
#include <utility>

class QWidget;

enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
};

enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// Shows a modal box and returns the answer (IDOK, IDCANCEL, IDYES, IDNO).
int ShowMessageBox(QWidget* Owner, const QString& Text, const QString& Caption, unsigned Flags);

// The default error box: the message with the error icon, captioned with the
// application's title. The program goes on afterwards.
void ShowErrorBox(const QString& Message);
void ShowException(const std::exception& E);
// Shows the exception being handled; call only inside a catch block.
void ShowCurrentException();

// The boundary between Qt and our handlers, and the one place that shows what
// a handler throws. Every entry from Qt into our code (event overrides, event
// filters, slots) runs its handler through it: Qt's frames are built to be
// left by return only, so nothing may be thrown through them. True when the
// handler returned normally.
template <typename F> bool RunGuarded(F&& Handler) {
    try {
        Handler();
        return true;
    } catch (...) {
        ShowCurrentException();
        return false;
    }
}

// Connects a signal to a handler through the boundary.
template <typename TSender, typename TSignal, typename F>
QMetaObject::Connection ConnectGuarded(const TSender* Sender, TSignal Signal,
                                       const QObject* Context, F Handler) {
    return QObject::connect(Sender, Signal, Context,
                            [Handler = std::move(Handler)] { RunGuarded(Handler); });
}

// Carries a handler's error past Qt's frames when the handler runs inside one
// of our own calls into Qt (a text set by the program, which Qt answers with
// the change signal): the error is held while Qt unwinds by returning, and is
// raised again to our caller once Qt's call is back. A handler that Qt calls
// on its own (the user typed) has no caller of ours, and the boundary shows
// its error.
class TErrorRelay {
public:
    // Our call into Qt.
    template <typename F> void CallQt(F&& QtCall) {
        // An error still held for an enclosing call is not this call's.
        struct TFrame {
            TErrorRelay& R;
            std::exception_ptr Outer;
            ~TFrame() {
                --R.FDepth;
                R.FHeld = std::move(Outer);
            }
        } frame{*this, std::exchange(FHeld, nullptr)};
        ++FDepth;
        QtCall();
        if (std::exception_ptr mine = std::exchange(FHeld, nullptr))
            std::rethrow_exception(mine);
    }
    // Qt's call into our handler.
    template <typename F> void Handle(F&& Handler) {
        if (FDepth == 0) {
            RunGuarded(std::forward<F>(Handler));
            return;
        }
        try {
            Handler();
        } catch (...) {
            // The first error is the one the caller sees.
            if (!FHeld)
                FHeld = std::current_exception();
        }
    }

private:
    int FDepth = 0;
    std::exception_ptr FHeld;
};

// Test seam. While a hook is set, no box is shown: the hook sees what would
// have been shown and gives the answer.
struct TMessageBoxCall {
    QString Text;
    QString Caption;
    unsigned Flags;
};
using TMessageBoxHook = std::function<int(const TMessageBoxCall&)>;
void SetMessageBoxHook(TMessageBoxHook Hook); // an empty hook restores real boxes
