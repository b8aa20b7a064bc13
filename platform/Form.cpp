#include "Form.h"

#include <QApplication>
#include <QKeyEvent>

TForm::TForm(QWidget* Owner) : QDialog(Owner) {}

TForm::~TForm() {
    SetKeyPreview(false);
}

void TForm::SetModalResult(int Result) {
    FModalResult = Result;
    if (Result == 0 || !isVisible())
        return;
    TCloseAction action = caHide;
    // A close handler that failed has not agreed to the close: the form, and
    // whatever the user entered in it, stays.
    if (!RunGuarded([&] { FormClose(action); }))
        action = caNone;
    if (action == caNone) {
        FModalResult = 0;
        return;
    }
    if (FInModal)
        done(Result);
}

int TForm::ShowModal() {
    FModalResult = 0;
    FInModal = true;
    exec();
    FInModal = false;
    return FModalResult;
}

void TForm::SetKeyPreview(bool On) {
    if (On == FKeyPreview)
        return;
    FKeyPreview = On;
    if (On)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

void TForm::reject() {
    SetModalResult(2);
    if (!FInModal && FModalResult != 0)
        QDialog::done(2);
}

void TForm::FormClose(TCloseAction&) {}

void TForm::FormKeyDown(int&, Qt::KeyboardModifiers) {}

bool TForm::eventFilter(QObject* Watched, QEvent* Event) {
    if (Event->type() == QEvent::KeyPress && Watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(Watched);
        // An unused key travels up the parent chain; look at it once, at the
        // focused control that receives it first.
        QWidget* focused = focusWidget();
        const bool passingUp = focused && w != focused && w->isAncestorOf(focused);
        if ((w == this || isAncestorOf(w)) && !passingUp) {
            auto* ke = static_cast<QKeyEvent*>(Event);
            int key = ke->key();
            // A key whose handler failed goes no further.
            if (!RunGuarded([&] { FormKeyDown(key, ke->modifiers()); }) || key == 0)
                return true;
        }
    }
    return QDialog::eventFilter(Watched, Event);
}
