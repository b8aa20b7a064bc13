// The main window's formatting: bold, italic and underline on the editor's
// selection, the font name box and size field that follow the selection, and
// the font dialog.

#include "RichEdit.h"
#include "RichEditActions.h"
#include "kel_utils.h"
#include "vmr_main.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QFontDialog>
#include <QLineEdit>
#include <QTextBlock>
#include <algorithm>

namespace {

// True when every selected character already has the size Points (with no
// selection: when typing would use it). Writing it again would change nothing
// but would still count as an edit of the page.
bool SelectionIsOfSize(TRichEdit* Editor, int Points) {
    const QTextCursor cur = Editor->textCursor();
    if (!cur.hasSelection())
        return Editor->SelAttributes.Size() == Points;
    const int start = cur.selectionStart();
    const int end = cur.selectionEnd();
    for (QTextBlock b = Editor->document()->findBlock(start); b.isValid() && b.position() < end;
         b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (frag.position() + frag.length() <= start || frag.position() >= end)
                continue;
            const QTextCharFormat f = frag.charFormat();
            // Pictures and marks have no size of their own: selecting one
            // shows a size without giving it to them.
            if (f.isImageFormat())
                continue;
            if (!f.hasProperty(QTextFormat::FontPointSize) || qRound(f.fontPointSize()) != Points)
                return false;
        }
    }
    return true;
}

} // namespace

void TTPagesMain::InitFontList() {
    QStringList names = QFontDatabase::families();
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    eFontName->clear();
    eFontName->addItem(QString());
    eFontName->addItems(names);
    SetFontName(QStringLiteral("Calibri"));
    SetFontSize(11);
}

QString TTPagesMain::FontName() const {
    return eFontName->currentText();
}

void TTPagesMain::SetFontName(const QString& Value) {
    const int i = eFontName->findText(Value, Qt::MatchFixedString);
    if (i >= 0)
        eFontName->setCurrentIndex(i);
}

int TTPagesMain::FontSize() const {
    const QString text = eFontSize->text();
    return text.isEmpty() ? 11 : StrToInt(text);
}

void TTPagesMain::SetFontSize(int Value) {
    eFontSize->setText(QString::number(Value));
}

QString TTPagesMain::SelectionFontName() const {
    return eText->SelAttributes.Name();
}

void TTPagesMain::aBoldExecute() {
    if (FBold)
        FBold->ExecuteTarget(eText);
}

void TTPagesMain::aItalicExecute() {
    if (FItalic)
        FItalic->ExecuteTarget(eText);
}

void TTPagesMain::aUnderlineExecute() {
    if (FUnderline)
        FUnderline->ExecuteTarget(eText);
}

void TTPagesMain::aFontExecute() {
    // Preset from the control's own font, not from the selection.
    eFontDlg->setCurrentFont(QFont(eText->Font()));
    if (eFontDlg->exec() != QDialog::Accepted)
        return;
    const QFont f = eFontDlg->selectedFont();
    eText->SelAttributes.SetName(f.family());
    eText->SelAttributes.SetSize(f.pointSize());
    eText->SelAttributes.SetStyle(FontStylesOf(f));
}

void TTPagesMain::eFontNameCloseUp() {
    eText->SelAttributes.SetName(FontName());
}

void TTPagesMain::eFontSizeChange() {
    const int size = FontSize();
    if (!SelectionIsOfSize(eText, size))
        eText->SelAttributes.SetSize(size);
}

void TTPagesMain::eTextSelectionChange() {
    // Showing the selection's font must not move the selection again.
    struct TReattach {
        TRichEdit* Editor;
        TNotifyEvent Handler;
        ~TReattach() { Editor->OnSelectionChange = Handler; }
    } reattach{eText, eText->OnSelectionChange};
    eText->OnSelectionChange = nullptr;
    SetFontName(eText->SelAttributes.Name());
    SetFontSize(eText->SelAttributes.Size());
}
