#include "vmr_pagelist.h"

#include "MessageBox.h"
#include "vmr_utils.h"

#include <QKeyEvent>
#include <QStyle>

namespace {
constexpr int PageRole = Qt::UserRole;
}

int VirtualKeyOf(int QtKey) {
    switch (QtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Insert:
        return VK_INSERT;
    case Qt::Key_Delete:
        return VK_DELETE;
    default:
        return 0;
    }
}

TPageListBox::TPageListBox(QWidget* Parent) : QListWidget(Parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Every item has the same size, so that the scroll width is the box's own
    // and not that of the widest title still in the list.
    setUniformItemSizes(true);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    ConnectGuarded(this, &QListWidget::itemSelectionChanged, this, [this] { SelectionChanged(); });
}

void TPageListBox::SelectionChanged() {
    if (!FSilent && OnClick)
        OnClick();
}

int TPageListBox::ItemIndex() const {
    const QModelIndexList rows = selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TPageListBox::SetItemIndex(int Index) {
    const TSilent silent(this);
    if (Index >= 0 && Index < count()) {
        setCurrentRow(Index, QItemSelectionModel::ClearAndSelect);
        scrollToItem(item(Index));
    } else {
        clearSelection();
        setCurrentIndex(QModelIndex());
    }
}

TPage* TPageListBox::PageAt(int Index) const {
    const QListWidgetItem* it = Index >= 0 ? item(Index) : nullptr;
    return it ? reinterpret_cast<TPage*>(it->data(PageRole).value<quintptr>()) : nullptr;
}

QString TPageListBox::ItemText(int Index) const {
    const QListWidgetItem* it = Index >= 0 ? item(Index) : nullptr;
    return it ? it->text() : QString();
}

void TPageListBox::SetItemText(int Index, const QString& Text) {
    const TSilent silent(this);
    if (QListWidgetItem* it = Index >= 0 ? item(Index) : nullptr; it && it->text() != Text)
        it->setText(Text);
}

QListWidgetItem* TPageListBox::NewItem(const TPage* Page) const {
    auto* it = new QListWidgetItem(Page ? Page->Title() : QString());
    it->setData(PageRole, QVariant::fromValue(reinterpret_cast<quintptr>(Page)));
    it->setSizeHint(QSize(FExtent, FItemHeight));
    return it;
}

void TPageListBox::InsertPage(int Index, const TPage* Page) {
    const TSilent silent(this);
    insertItem(std::clamp(Index, 0, count()), NewItem(Page));
}

void TPageListBox::RemovePage(int Index) {
    const TSilent silent(this);
    if (Index >= 0 && Index < count())
        delete takeItem(Index);
}

void TPageListBox::Clear() {
    const TSilent silent(this);
    clear();
}

void TPageListBox::MirrorPages(const TPageList& Pages) {
    const TSilent silent(this);
    const int n = Pages.Count();
    for (int i = 0; i < n; ++i) {
        const TPage* page = Pages.GetPages(i);
        if (i >= count()) {
            addItem(NewItem(page));
            continue;
        }
        QListWidgetItem* it = item(i);
        if (PageAt(i) != page)
            it->setData(PageRole, QVariant::fromValue(reinterpret_cast<quintptr>(page)));
        const QString title = page ? page->Title() : QString();
        if (it->text() != title)
            it->setText(title);
    }
    while (count() > n)
        delete takeItem(count() - 1);
}

void TPageListBox::SetItemHeight(int Height) {
    FItemHeight = Height;
    SetHorizontalExtent(FExtent);
}

void TPageListBox::SetHorizontalExtent(int Width) {
    FExtent = std::max(0, Width);
    const TSilent silent(this);
    for (int i = 0; i < count(); ++i)
        item(i)->setSizeHint(QSize(FExtent, FItemHeight));
}

int TPageListBox::TextWidth(const QString& Text) const {
    // The margin the style keeps on each side of an item's text.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    return fontMetrics().horizontalAdvance(Text) + 2 * margin;
}

QItemSelectionModel::SelectionFlags TPageListBox::selectionCommand(const QModelIndex& Index,
                                                                   const QEvent*) const {
    // As in a plain list box: a click beside the items keeps the selection,
    // and no key or click leaves the list without one once it has one.
    if (!Index.isValid())
        return QItemSelectionModel::NoUpdate;
    return QItemSelectionModel::ClearAndSelect;
}

void TPageListBox::keyPressEvent(QKeyEvent* Event) {
    FKeyDown = Event->key();
    QListWidget::keyPressEvent(Event);
}

void TPageListBox::keyReleaseEvent(QKeyEvent* Event) {
    // A release whose press went elsewhere, such as the Enter that closed a
    // dialog opened from here, is not this box's key.
    if (!Event->isAutoRepeat() && FKeyDown != 0 && Event->key() == FKeyDown) {
        FKeyDown = 0;
        int key = VirtualKeyOf(Event->key());
        if (OnKeyUp)
            RunGuarded([&] { OnKeyUp(key, Event->modifiers()); });
    }
    QListWidget::keyReleaseEvent(Event);
}

void TPageListBox::focusOutEvent(QFocusEvent* Event) {
    FKeyDown = 0;
    QListWidget::focusOutEvent(Event);
}

void TPageListBox::mouseDoubleClickEvent(QMouseEvent* Event) {
    QListWidget::mouseDoubleClickEvent(Event);
    if (Event->button() == Qt::LeftButton && OnDblClick)
        RunGuarded(OnDblClick);
}

QString ListMirrorDifference(const TPageListBox& Box, const TPageList& Pages) {
    if (Box.count() != Pages.Count())
        return QStringLiteral("the box holds %1 items for %2 pages")
            .arg(Box.count())
            .arg(Pages.Count());
    for (int i = 0; i < Pages.Count(); ++i) {
        const TPage* page = Pages.GetPages(i);
        if (Box.PageAt(i) != page)
            return QStringLiteral("item %1 refers to another page").arg(i);
        if (page && Box.ItemText(i) != page->Title())
            return QStringLiteral("item %1 shows '%2' for the title '%3'")
                .arg(i)
                .arg(Box.ItemText(i), page->Title());
    }
    return {};
}
