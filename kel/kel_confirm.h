#pragma once
// A modal question with a row of answer buttons chosen by flags. The box grows
// to fit its title, text and picture; the buttons keep to its bottom right.

#include "Form.h"

#include <QPixmap>
#include <QStringList>
#include <functional>
#include <vector>

class QLabel;
class QPushButton;
class TImage;

// Answer flags; add the wanted ones together.
enum : int {
    cfYes = 1,
    cfNo = 2,
    cfOK = 4,
    cfCancel = 8,
    cfNoToAll = 0x100,
    cfYesToAll = 0x200,
};

class TConfirmBox : public TForm {
    Q_OBJECT
public:
    explicit TConfirmBox(QWidget* Owner = nullptr);

    QLabel* lText;

    // The answer of the button clicked; 0 until one is.
    int Answer() const { return FAnswer; }
    int Flags() const { return FFlags; }
    // Adds the buttons of the flags to those already present.
    void SetFlags(int Value);
    // The picture shown; nullptr when there is none.
    const QPixmap* Image() const { return FHasImage ? &FImage : nullptr; }
    void SetImage(const QPixmap* Graphic);
    QString Text() const;
    void SetText(const QString& Value);
    QString Title() const { return windowTitle(); }
    // An empty title keeps the caption "Confirm".
    void SetTitle(const QString& Value);

    // The buttons in the order they were made: right to left.
    const std::vector<QPushButton*>& Buttons() const { return FButtons; }

    void ButtonClick(QObject* Sender);

protected:
    void keyPressEvent(QKeyEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void showEvent(QShowEvent* Event) override;

private:
    void AddButton(int& X, int& Y, const QString& Caption, int Answer);
    // Grows the box to fit the caption, the text, the buttons and the picture.
    void FitToContents();
    // Moves the controls anchored to the right or bottom edge after a resize.
    void Reanchor();

    int FAnswer = 0;
    int FFlagW = 0;
    int FFlags = 0;
    QPixmap FImage;
    bool FHasImage = false;
    QStringList FText;
    int FTitleW = 0;
    QSize FTextSz;

    TImage* FImageControl = nullptr;
    std::vector<QPushButton*> FButtons;
    QSize FAnchorSize;
};

// Asks the question modally and returns the answer: 6 Yes, 7 No, 1 OK,
// 2 Cancel, 13 No to All, 14 Yes to All, or 0 when the box was closed without
// a button.
int ShowConfirmBox(QWidget* Owner, const QString& Text, const QString& Title, int Flags,
                   const QPixmap* Image = nullptr);

// Splits a text into lines at CR LF, CR or LF; a final line break adds no line.
QStringList SplitLines(const QString& Text);

// Test seam. While a hook is set, no box is shown: the hook sees what would
// have been asked and gives the answer.
struct TConfirmBoxCall {
    QString Text;
    QString Title;
    int Flags;
};
using TConfirmBoxHook = std::function<int(const TConfirmBoxCall&)>;
void SetConfirmBoxHook(TConfirmBoxHook Hook); // an empty hook restores real boxes
