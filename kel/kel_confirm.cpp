#include "kel_confirm.h"

#include "FormScale.h"
#include "Image.h"
#include "MessageBox.h"
#include "kel_resourcestrings.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>

namespace {
// Layout at 96 pixels per inch.
constexpr int DesignPpi = 96;

struct TFlagButton {
    int Flag;
    int Caption; // string resource
    int Answer;
};
// In the order the buttons are made, right to left.
constexpr TFlagButton FlagButtons[] = {
    {cfCancel, SCancel, 2},      {cfNoToAll, SNoToAll, 13}, {cfNo, SNo, 7},
    {cfYesToAll, SYesToAll, 14}, {cfYes, SYes, 6},          {cfOK, SOK, 1},
};

const char* const AnswerProperty = "Answer";
const char* const CancelProperty = "CancelButton";

TConfirmBoxHook& Hook() {
    static TConfirmBoxHook hook;
    return hook;
}
} // namespace

QStringList SplitLines(const QString& Text) {
    if (Text.isEmpty())
        return {};
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = Text.split(breaks);
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

TConfirmBox::TConfirmBox(QWidget* Owner) : TForm(Owner) {
    const TFormScaler sc(DesignPpi);
    setObjectName(QStringLiteral("ConfirmBox"));
    setWindowTitle(QStringLiteral("Confirm"));
    setFont(sc.Font(QStringLiteral("Tahoma"), 11));
    resize(sc.Size(309, 88));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);

    lText = new QLabel(this);
    lText->setObjectName(QStringLiteral("lText"));
    // Page titles end up in questions; they must never be read as markup.
    lText->setTextFormat(Qt::PlainText);
    lText->move(sc.S(16), sc.S(16));
    lText->setText(QStringLiteral("Text to confirm"));
    lText->adjustSize();
    FAnchorSize = size();
}

QString TConfirmBox::Text() const {
    return lText->text();
}

void TConfirmBox::SetTitle(const QString& Value) {
    if (!Value.isEmpty())
        setWindowTitle(Value);
    FTitleW = fontMetrics().horizontalAdvance(windowTitle());
    FitToContents();
}

void TConfirmBox::SetText(const QString& Value) {
    FText = SplitLines(Value);
    lText->setText(FText.join(QLatin1Char('\n')));
    lText->adjustSize();
    const QFontMetrics fm = fontMetrics();
    FTextSz.setHeight(fm.height());
    int widest = 0;
    for (const QString& line : FText)
        widest = std::max(widest, fm.horizontalAdvance(line));
    FTextSz.setWidth(widest);
    FitToContents();
}

void TConfirmBox::SetImage(const QPixmap* Graphic) {
    FHasImage = Graphic != nullptr;
    FImage = Graphic ? *Graphic : QPixmap();
    if (!Graphic) {
        delete FImageControl;
        FImageControl = nullptr;
    } else {
        // A second picture replaces the first in the same control.
        if (!FImageControl)
            FImageControl = new TImage(this);
        FImageControl->setObjectName(LoadResString(SConfirmImage));
        const QSize gs = FImage.deviceIndependentSize().toSize();
        FImageControl->SetPicture(FImage);
        FImageControl->setGeometry(width() - TFormScaler(DesignPpi).S(24) - gs.width(), lText->y(),
                                   gs.width(), gs.height());
        FImageControl->show();
    }
    FitToContents();
}

void TConfirmBox::SetFlags(int Value) {
    FFlags = Value;
    const int margin = TFormScaler(DesignPpi).S(12);
    int x = width() - margin;
    int y = height() - margin;
    for (const TFlagButton& row : FlagButtons)
        if (Value & row.Flag)
            AddButton(x, y, LoadResString(row.Caption), row.Answer);
    FitToContents();
}

void TConfirmBox::AddButton(int& X, int& Y, const QString& Caption, int Answer) {
    const TFormScaler sc(DesignPpi);
    auto* b = new QPushButton(Caption, this);
    b->resize(sc.Size(75, 25));
    b->move(X + sc.S(12) - b->width() - sc.S(8), Y - b->height());
    b->setDefault(Answer == 6 || Answer == 1);
    b->setProperty(CancelProperty, Answer == 2 || Answer == 13);
    b->setProperty(AnswerProperty, Answer);
    ConnectGuarded(b, &QPushButton::clicked, this, [this, b] { ButtonClick(b); });
    // The first button made, the rightmost, has the focus when the box opens.
    if (FButtons.empty())
        b->setFocus();
    b->show();
    FButtons.push_back(b);
    X = b->x() - sc.S(12);
    FFlagW = width() - X;
}

void TConfirmBox::ButtonClick(QObject* Sender) {
    if (auto* b = qobject_cast<QPushButton*>(Sender)) {
        FAnswer = b->property(AnswerProperty).toInt();
        SetModalResult(FAnswer);
    }
}

void TConfirmBox::FitToContents() {
    const TFormScaler sc(DesignPpi);
    const int textH = static_cast<int>(FText.size()) * FTextSz.height();
    int w = std::max({FTitleW + sc.S(20), FTextSz.width() + sc.S(48), FFlagW});
    int h = textH + sc.S(134);
    const QSize is = FHasImage ? FImage.deviceIndependentSize().toSize() : QSize();
    if (is.width() > 0 && is.height() > 0) {
        w += sc.S(48) + is.width();
        if (is.height() > textH)
            h += is.height() - textH;
    }
    // The box only grows.
    resize(std::max(width(), w), std::max(height(), h));
    Reanchor();
}

void TConfirmBox::Reanchor() {
    const QSize delta = size() - FAnchorSize;
    FAnchorSize = size();
    if (delta.isNull())
        return;
    for (QPushButton* b : FButtons)
        b->move(b->pos() + QPoint(delta.width(), delta.height()));
    if (FImageControl)
        FImageControl->move(FImageControl->pos() + QPoint(delta.width(), 0));
}

void TConfirmBox::keyPressEvent(QKeyEvent* Event) {
    RunGuarded([&] {
        if (Event->key() == Qt::Key_Escape && Event->modifiers() == Qt::NoModifier) {
            // Esc clicks the first cancel button; without one it does nothing.
            Event->accept();
            for (QPushButton* b : FButtons)
                if (b->property(CancelProperty).toBool() && b->isEnabled()) {
                    b->click();
                    break;
                }
            return;
        }
        TForm::keyPressEvent(Event);
    });
}

void TConfirmBox::resizeEvent(QResizeEvent* Event) {
    TForm::resizeEvent(Event);
    RunGuarded([this] { Reanchor(); });
}

void TConfirmBox::showEvent(QShowEvent* Event) {
    RunGuarded([this] { CenterOnScreen(this); });
    TForm::showEvent(Event);
}

void SetConfirmBoxHook(TConfirmBoxHook H) {
    Hook() = std::move(H);
}

int ShowConfirmBox(QWidget* Owner, const QString& Text, const QString& Title, int Flags,
                   const QPixmap* Image) {
    if (Hook())
        return Hook()(TConfirmBoxCall{Text, Title, Flags});
    TConfirmBox box(Owner);
    box.SetTitle(Title);
    box.SetText(Text);
    box.SetImage(Image);
    box.SetFlags(Flags);
    box.ShowModal();
    return box.Answer();
}
