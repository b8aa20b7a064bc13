#pragma once
// A form: a window with a modal result, key preview, and a creation handler
// whose failure is shown in the error box without stopping the creation.

#include <QDialog>

// What FormClose decides: caNone keeps the form open.
enum TCloseAction { caNone, caHide, caFree, caMinimize };

class TForm : public QDialog {
    Q_OBJECT
public:
    explicit TForm(QWidget* Owner = nullptr);
    ~TForm() override;

    // 0 while the form is open; setting a non-zero result ends ShowModal,
    // unless FormClose keeps the form open (the result then returns to 0).
    int ModalResult() const { return FModalResult; }
    void SetModalResult(int Result);

    // Runs the modal loop and returns the modal result.
    int ShowModal();

    // With key preview the form sees every key before the focused control.
    bool KeyPreview() const { return FKeyPreview; }
    void SetKeyPreview(bool On);

    // Closing a modal form (Esc, the close box) answers Cancel.
    void reject() override;

protected:
    // Runs whenever the form is about to close; set Action to caNone to stay.
    // A failure keeps the form open too.
    virtual void FormClose(TCloseAction& Action);
    // A key seen through key preview; set Key to 0 to swallow it. A failure
    // swallows it too.
    virtual void FormKeyDown(int& Key, Qt::KeyboardModifiers Shift);
    // Calls a creation handler; an error is shown and creation goes on.
    template <typename F> void RunCreate(F&& Handler);
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    int FModalResult = 0;
    bool FKeyPreview = false;
    bool FInModal = false;
};

#include "MessageBox.h"

template <typename F> void TForm::RunCreate(F&& Handler) {
    RunGuarded(std::forward<F>(Handler));
}
