#pragma once
// The main window's page list box. Item i shows the title of a page and
// carries a reference to it; the box never owns the pages. Only what the user
// does raises its events: changes made by the program are silent.

#include <QListWidget>
#include <functional>

class TPage;
class TPageList;

// The virtual key codes the list reports when a key is released.
enum : int { VK_RETURN = 13, VK_INSERT = 45, VK_DELETE = 46 };
// The virtual key of a Qt key; 0 for keys without one here.
int VirtualKeyOf(int QtKey);

class TPageListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TPageListBox(QWidget* Parent = nullptr);

    // The selected item; -1 when none is selected.
    int ItemIndex() const;
    // Selects item Index; an index outside the list selects none.
    void SetItemIndex(int Index);

    // The page item Index carries; null outside the list.
    TPage* PageAt(int Index) const;
    QString ItemText(int Index) const;
    void SetItemText(int Index, const QString& Text);
    void InsertPage(int Index, const TPage* Page);
    void RemovePage(int Index);
    void Clear();
    // Brings the items in line with Pages: item i shows the title of, and
    // refers to, page i.
    void MirrorPages(const TPageList& Pages);

    void SetItemHeight(int Height);
    // The width the items can be scrolled over.
    int HorizontalExtent() const { return FExtent; }
    void SetHorizontalExtent(int Width);
    // The pixel width of a title in the box's font.
    int TextWidth(const QString& Text) const;

    // The user changed the selection, by mouse or keyboard.
    std::function<void()> OnClick;
    std::function<void()> OnDblClick;
    // A key was released whose press the box saw; Key is its virtual key.
    std::function<void(int& Key, Qt::KeyboardModifiers Shift)> OnKeyUp;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& Index,
                                                         const QEvent* Event) const override;
    void keyPressEvent(QKeyEvent* Event) override;
    void keyReleaseEvent(QKeyEvent* Event) override;
    void focusOutEvent(QFocusEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;

private:
    // Program changes: no OnClick while one runs.
    struct TSilent {
        explicit TSilent(TPageListBox* Box) : FBox(Box) { ++Box->FSilent; }
        ~TSilent() { --FBox->FSilent; }
        TPageListBox* FBox;
    };
    QListWidgetItem* NewItem(const TPage* Page) const;
    void SelectionChanged();

    int FSilent = 0;
    int FKeyDown = 0;
    int FItemHeight = 16;
    int FExtent = 0;
};

// "" when Box mirrors Pages item for item; otherwise the first difference.
QString ListMirrorDifference(const TPageListBox& Box, const TPageList& Pages);
