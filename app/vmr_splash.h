#pragma once
// The unlock window: a borderless picture with a password field. It unlocks
// the moment the field's text matches the stored password.

#include "Form.h"

class QLineEdit;
class QPushButton;
class TImage;

class TVMRSplash : public TForm {
    Q_OBJECT
public:
    explicit TVMRSplash(QWidget* Owner = nullptr);
    ~TVMRSplash() override;

    TImage* eSplash;
    QLineEdit* ePassword;
    QPushButton* bCancel;

    void FormCreate();
    void ePasswordChange();
    void eSplashMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);

protected:
    void FormKeyDown(int& Key, Qt::KeyboardModifiers Shift) override;
    void resizeEvent(QResizeEvent* Event) override;
    void showEvent(QShowEvent* Event) override;

private:
    void UpdateMask();

    QString FTyped; // the text that unlocked, wiped with the window
};
