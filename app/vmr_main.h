#pragma once
// The main window: the page list on the left; the title field and the editor
// of the current page on the right, with the formatting controls above the
// editor. Its creation begins with the unlock window; nothing else of the
// notebook is built until the password matched.
//
// The editor's unsaved changes belong to the page it shows, found by identity:
// adding, renaming and deleting pages move the indexes under it.

#include "FileIdentity.h"
#include "Form.h"

#include <QPoint>
#include <QWidget>
#include <functional>

class QAction;
class QComboBox;
class QFontDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class TLookUpEdit;
class TPage;
class TPageList;
class TPageListBox;
class TRichEdit;
class TRichEditBold;
class TRichEditItalic;
class TRichEditUnderline;

class TTPagesMain : public QWidget {
    Q_OBJECT
public:
    explicit TTPagesMain(QWidget* Parent = nullptr);
    ~TTPagesMain() override;

    QLabel* Label1;
    QLabel* Label2;
    QToolButton* bBold;
    QToolButton* bItalic;
    QToolButton* bUnderline;
    QToolButton* bAddPage;
    QToolButton* bDelPage;
    TPageListBox* ePages;
    QPushButton* bOk;
    TLookUpEdit* eTitle;
    TRichEdit* eText;
    QPushButton* bSave;
    QComboBox* eFontName;
    QLineEdit* eFontSize;
    QPushButton* bChgPW;
    QObject* eActionManager;
    QAction* aBold;
    QAction* aItalic;
    QAction* aUnderline;
    QAction* aFind;
    QAction* aFindNext;
    QAction* aSave;
    QAction* aFont;
    QFontDialog* eFontDlg;

    // All pages, owned by the window, in title order; ePages mirrors them.
    TPageList* Pages = nullptr;

    // The page at CurPageIx; null when there is none.
    TPage* CurPage() const;
    int CurPageIx() const { return FCurPageIx; }
    // Makes page Value current: the editor's pending changes go into the page
    // it showed, then page Value is shown. An index outside the list makes no
    // page current. Leaves IsChanged as it was.
    void SetCurPageIx(int Value);
    bool IsChanged() const { return FIsChanged; }
    void SetIsChanged(bool Value);

    // Takes p, sorts it into the list and makes it current.
    void AddPage(TPage* p);
    void EnablePage(bool b);
    // The page list item Ix carries; null outside the list.
    TPage* LoadPage(int Ix) const;
    void LoadPageInRE(TRichEdit* re, TPage* p);
    // Copies the title field and eText into p.
    void SavePageFromRe(TRichEdit* re, TPage* p);
    void LoadPages();
    // Writes the vault; false when the user chose not to overwrite a vault
    // file that another program changed since it was read or saved here.
    // After the vault could not be opened or read through, it raises and
    // writes nothing.
    bool SavePages();
    void SaveSel();
    void RestoreSel();

    // Page commands.
    void NewPage();
    // Opens the page editor on page Ix, or on a new page when Ix < 0.
    void EditPage(int Ix);
    // Files p again after the page editor changed it; Ix is where it stood.
    void UpdatePage(int Ix, TPage* p);
    // Deletes page Ix after asking; other indexes are ignored.
    void DeletePage(int Ix);

    // Runs the unlock window; true when it was unlocked.
    bool Splash();
    // Writes the stored crypt string to the settings store; false when the
    // user chose not to overwrite the password another copy of the program
    // stored meanwhile.
    bool SaveSettings();
    void CheckPasswordStrength(QObject* Sender, const QString& NewPw, QString& Emsg);

    void FormCreate();
    void FormClose(TCloseAction& Action);
    void FormDestroy();
    void ePagesClick();
    void ePagesDblClick();
    void ePagesKeyUp(int& Key, Qt::KeyboardModifiers Shift);
    void eTitleChange();
    void eTextChange();
    void eTextClick();
    void eTextEnter();
    void eTextExit();
    void aSaveExecute();
    void bOkClick();
    void bAddPageClick();
    void bDelPageClick();
    void bChgPWClick();

    // The font name box: its text; writing selects a listed name (letter case
    // ignored) and leaves the box alone for other names.
    QString FontName() const;
    void SetFontName(const QString& Value);
    // The size field: 11 when empty; a text that is no Integer raises
    // EConvertError. Writing raises eFontSizeChange when the text changes.
    int FontSize() const;
    void SetFontSize(int Value);
    QString SelectionFontName() const;

    void aBoldExecute();
    void aItalicExecute();
    void aUnderlineExecute();
    void aFontExecute();
    void eFontNameCloseUp();
    void eFontSizeChange();
    void eTextSelectionChange();
    // Find asks for the text and finds its first occurrence from the current
    // page on; find next goes on from the last match. Titles come before
    // texts, page by page; the stored texts are searched, and a page is shown
    // only where the match is.
    void aFindExecute();
    void aFindNextExecute();

protected:
    void closeEvent(QCloseEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    void CreateControls();
    void CreateActions();
    void InitFontList();
    QString VaultName() const;
    // The one rule for the editor's pending changes: they go into the page
    // the editor shows while it is still in the list.
    void SaveEditorChanges();
    // Shows the title without completing it from the field's match list.
    void LoadTitle(const QString& Title);
    // Sorts p into Pages and ePages; its index.
    int FilePage(TPage* p);
    // Forgets a page that is about to be freed.
    void ForgetPage(const TPage* p);
    // Makes the page the editor shows current again at its present index.
    void ReshowPage();
    void WidenList(const QString& Title);

    TRichEditBold* FBold = nullptr;
    int FCurPageIx = 0;
    TRichEditItalic* FItalic = nullptr;
    bool FIsChanged = false;
    bool FPageChgd = false;
    int FSelLength = 0;
    int FSelStart = 0;
    int FSPosRE = 0;
    QPoint FSPos;
    TRichEditUnderline* FUnderline = nullptr;

    // The page the editor shows, or null.
    TPage* FShownPage = nullptr;
    // The page and stored bytes the editor's content was last loaded from or
    // saved to; showing that page again with the same bytes needs no reload.
    const TPage* FEditorPage = nullptr;
    QByteArray FEditorBytes;
    // What became of reading the vault file. Damaged data are moved aside
    // before the first save in their place. A vault that could not be opened
    // or read through is never written over: its pages may not all be here.
    enum class TVaultRead { Whole, Damaged, Failed };
    TVaultRead FVaultRead = TVaultRead::Whole;
    // The vault file as it was last read or saved here.
    TFileIdentity FVaultIdentity;
    std::function<void()> FTitleChange;
};

// The product version shown in the caption.
QString ProductVersion();

// The path of the running executable, which names the vault file; tests put
// another in its place ("" restores the real one).
QString RunningExePath();
void SetRunningExePath(const QString& Path);
