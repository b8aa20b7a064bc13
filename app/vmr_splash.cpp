#include "vmr_splash.h"

#include "FormScale.h"
#include "Image.h"
#include "MessageBox.h"
#include "PasswordChar.h"
#include "SecureText.h"
#include "SettingsStore.h"
#include "vmr_utils.h"

#include <QBitmap>
#include <QLineEdit>
#include <QPushButton>
#include <QRegion>

TVMRSplash::TVMRSplash(QWidget* Owner) : TForm(Owner) {
    const TFormScaler sc(240);
    setObjectName(QStringLiteral("VMRSplash"));
    setWindowTitle(QStringLiteral("VMRSplash"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFont(sc.Font(QStringLiteral("Tahoma"), 28));
    setFixedSize(sc.Size(660, 643));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    SetKeyPreview(true);

    eSplash = new TImage(this);
    eSplash->setObjectName(QStringLiteral("eSplash"));
    eSplash->setGeometry(rect());
    eSplash->SetPicture(QPixmap(QStringLiteral(":/splash.png")));
    eSplash->OnMouseDown = [this](Qt::MouseButton b, Qt::KeyboardModifiers s, int x, int y) {
        eSplashMouseDown(b, s, x, y);
    };

    ePassword = new QLineEdit(this);
    ePassword->setObjectName(QStringLiteral("ePassword"));
    sc.Place(ePassword, 160, 568, 303, 42);
    SetPasswordChar(ePassword, QLatin1Char('#'));
    ConnectGuarded(ePassword, &QLineEdit::textChanged, this, [this] { ePasswordChange(); });

    // Never shown: only its bounds are used, as the cancel zone over the
    // picture's close mark.
    bCancel = new QPushButton(this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    sc.Place(bCancel, 565, 33, 85, 82);
    bCancel->setAutoDefault(false);
    bCancel->setVisible(false);

    CenterOnScreen(this);

    setTabOrder(ePassword, bCancel);
    ePassword->setFocus();

    RunCreate([this] { FormCreate(); });
}

TVMRSplash::~TVMRSplash() {
    WipeOwned(FTyped);
    // Left without unlocking, the field still holds what was typed.
    WipeLineEdit(ePassword);
}

void TVMRSplash::FormCreate() {
    auto store = OpenCurrentUserStore();
    ReadStoredCryptString(*store);
}

void TVMRSplash::ePasswordChange() {
    if (PasswordMatches(ePassword->text())) {
        // The typed password is not needed any more. The key press that
        // changed the text still holds it, so its storage is wiped later.
        FTyped = TakeLineEditText(ePassword);
        SetModalResult(1);
    }
}

void TVMRSplash::eSplashMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int X, int Y) {
    const QRect g = bCancel->geometry();
    const int left = g.x(), top = g.y(), right = left + g.width(), bottom = top + g.height();
    if (X >= left && X < right && Y >= top && Y < bottom)
        SetModalResult(2);
}

void TVMRSplash::FormKeyDown(int& Key, Qt::KeyboardModifiers) {
    if (Key == Qt::Key_Escape) {
        Key = 0;
        close(); // closing a modal form answers Cancel
    }
}

void TVMRSplash::resizeEvent(QResizeEvent* Event) {
    TForm::resizeEvent(Event);
    RunGuarded([this] {
        eSplash->setGeometry(rect());
        UpdateMask();
    });
}

void TVMRSplash::showEvent(QShowEvent* Event) {
    TForm::showEvent(Event);
    RunGuarded([this] { UpdateMask(); });
}

// Only the picture's opaque parts, the password field and the cancel zone
// show; the window's own colour is see-through.
void TVMRSplash::UpdateMask() {
    const QPixmap shown = eSplash->StretchedPicture();
    QRegion region(rect());
    if (!shown.isNull())
        region =
            QRegion(QBitmap::fromImage(shown.toImage().createAlphaMask(Qt::ThresholdAlphaDither)));
    region += ePassword->geometry();
    region += bCancel->geometry();
    setMask(region);
}
