#include "kel_utils.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <map>

namespace {
// Beyond this a list refuses to grow, rather than ask for gigabytes.
constexpr int MaxListSize = INT_MAX / 16;

std::string ConvertErrorText(const char* SourceName, const char* DestName) {
    return std::string("Cannot assign a ") + SourceName + " to a " + DestName;
}

const char* NameOrNil(const TObject* Obj) {
    return Obj ? Obj->ClassName() : "nil";
}

using TRegistry = std::map<std::string, TClass>;

// Built on first use, so the start-up registrations cannot be lost when the
// library's object files are linked selectively.
TRegistry& Registry() {
    static TRegistry registry = [] {
        TRegistry r;
        r.emplace(TKelObj::StaticClass()->Name, TKelObj::StaticClass());
        r.emplace(TKelListObj::StaticClass()->Name, TKelListObj::StaticClass());
        return r;
    }();
    return registry;
}

// Fills the registry while the program starts, before any window exists.
const bool registryFilled = (Registry(), true);
} // namespace

void FreeListItem(TObject* Item) {
    if (IsA(Item, TKelList::StaticClass()))
        TKelList::FreeAll(static_cast<TKelList*>(Item));
    else if (IsA(Item, TKelListObj::StaticClass()))
        TKelListObj::FreeAll(static_cast<TKelListObj*>(Item));
    else
        delete Item;
}

// ---- Text conversion

QString ElidedForMessage(QStringView Text) {
    constexpr qsizetype MaxShown = 64;
    return Text.size() <= MaxShown ? Text.toString()
                                   : Text.left(MaxShown).toString() + QStringLiteral("...");
}

int StrToInt(QStringView Text) {
    qsizetype i = 0;
    const bool negative = !Text.isEmpty() && Text[0] == u'-';
    if (!Text.isEmpty() && (Text[0] == u'-' || Text[0] == u'+'))
        ++i;
    std::int64_t value = 0;
    bool valid = i < Text.size();
    for (; valid && i < Text.size(); ++i) {
        const char16_t c = Text[i].unicode();
        valid = c >= u'0' && c <= u'9' && value <= std::int64_t(INT_MAX) + 1;
        value = value * 10 + (c - u'0');
    }
    if (negative)
        value = -value;
    if (!valid || value < INT_MIN || value > INT_MAX)
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value")
                                .arg(ElidedForMessage(Text))
                                .toStdString());
    return int(value);
}

// ---- Class references

bool TClassInfo::InheritsFrom(TClass Ancestor) const {
    for (TClass c = this; c; c = c->Parent)
        if (c == Ancestor)
            return true;
    return false;
}

bool IsA(const TObject* Obj, TClass Cls) {
    return Obj && Obj->ClassType()->InheritsFrom(Cls);
}

TClass TObject::StaticClass() {
    static const TClassInfo info{"TObject", nullptr, &KelNewInstance<TObject>,
                                 &KelNewInstance<TObject>, sizeof(TObject)};
    return &info;
}

KEL_DEFINE_CLASS(TPersistent, TObject)
KEL_DEFINE_CLASS(TList, TObject)
KEL_DEFINE_CLASS(TKelObj, TPersistent)
KEL_DEFINE_CLASS(TKelList, TList)
KEL_DEFINE_CLASS(TKelListObj, TKelObj)

void RegisterClass(TClass Cls) {
    if (Cls)
        Registry().emplace(Cls->Name, Cls);
}

TClass GetClass(const std::string& Name) {
    const TRegistry& r = Registry();
    const auto it = r.find(Name);
    return it == r.end() ? nullptr : it->second;
}

// ---- TPersistent

void TPersistent::AssignTo(TPersistent* Dest) const {
    throw EConvertError(ConvertErrorText(ClassName(), NameOrNil(Dest)));
}

void TPersistent::Assign(const TPersistent* Source) {
    if (!Source)
        throw EConvertError(ConvertErrorText("nil", ClassName()));
    Source->AssignTo(this);
}

// ---- TList

void TList::Error(const char* Text, int Data) {
    throw EListError(std::string(Text) + " (" + std::to_string(Data) + ")");
}

void TList::CheckIndex(int Index) const {
    if (Index < 0 || Index >= FCount)
        Error("List index out of bounds", Index);
}

void TList::Grow() {
    const int cap = Capacity();
    const int delta = cap > 64 ? cap / 4 : cap > 8 ? 16 : 4;
    SetCapacity(cap < MaxListSize - delta ? cap + delta : std::max(cap + 1, MaxListSize));
}

int TList::Add(TObject* Item) {
    const int at = FCount;
    Insert(at, Item);
    return at;
}

void TList::Insert(int Index, TObject* Item) {
    if (Index < 0 || Index > FCount)
        Error("List index out of bounds", Index);
    if (FCount == Capacity())
        Grow();
    std::move_backward(FItems.begin() + Index, FItems.begin() + FCount,
                       FItems.begin() + FCount + 1);
    FItems[Index] = Item;
    ++FCount;
    ++FOrderChanges;
}

void TList::Delete(int Index) {
    CheckIndex(Index);
    std::move(FItems.begin() + Index + 1, FItems.begin() + FCount, FItems.begin() + Index);
    FItems[--FCount] = nullptr;
}

void TList::Exchange(int Index1, int Index2) {
    CheckIndex(Index1);
    CheckIndex(Index2);
    std::swap(FItems[Index1], FItems[Index2]);
    ++FOrderChanges;
}

int TList::IndexOf(const TObject* Item) const {
    const auto end = FItems.begin() + FCount;
    const auto it = std::find(FItems.begin(), end, Item);
    return it == end ? -1 : static_cast<int>(it - FItems.begin());
}

int TList::Remove(TObject* Item) {
    const int at = IndexOf(Item);
    if (at >= 0)
        Delete(at);
    return at;
}

TObject* TList::Extract(TObject* Item) {
    return Remove(Item) >= 0 ? Item : nullptr;
}

void TList::Clear() {
    FCount = 0;
    std::vector<TObject*>().swap(FItems);
}

TObject* TList::GetItems(int Index) const {
    CheckIndex(Index);
    return FItems[Index];
}

void TList::SetItems(int Index, TObject* Item) {
    CheckIndex(Index);
    FItems[Index] = Item;
    ++FOrderChanges;
}

void TList::SetCount(int NewCount) {
    if (NewCount < 0 || NewCount > MaxListSize)
        Error("List count out of bounds", NewCount);
    if (NewCount > Capacity())
        SetCapacity(NewCount);
    if (NewCount > FCount)
        ++FOrderChanges;
    else
        std::fill(FItems.begin() + NewCount, FItems.begin() + FCount, nullptr);
    FCount = NewCount;
}

void TList::SetCapacity(int NewCapacity) {
    if (NewCapacity < FCount || NewCapacity > MaxListSize)
        Error("List capacity out of bounds", NewCapacity);
    FItems.resize(NewCapacity, nullptr);
}

void TList::Sort(TListSortCompare Compare) {
    if (FCount < 2)
        return;
    ++FOrderChanges;
    QuickSort(0, FCount - 1, Compare);
}

// Hoare partitioning around the middle entry. The scans are bounded, so a
// comparison that contradicts itself cannot run them off the list; recursing
// into the smaller part bounds the depth.
void TList::QuickSort(int L, int R, TListSortCompare Compare) {
    while (L < R) {
        int i = L, j = R;
        TObject* pivot = FItems[L + (R - L) / 2];
        do {
            while (i < R && Compare(FItems[i], pivot) < 0)
                ++i;
            while (j > L && Compare(FItems[j], pivot) > 0)
                --j;
            if (i <= j) {
                if (i != j)
                    std::swap(FItems[i], FItems[j]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (j - L < R - i) {
            QuickSort(L, j, Compare);
            L = i;
        } else {
            QuickSort(i, R, Compare);
            R = j;
        }
    }
}

// ---- TKelObj

void TKelObj::AssignTo(TPersistent*) const {}

TKelObj* TKelObj::duplicate() const {
    std::unique_ptr<TObject> copy(ClassType()->Create());
    static_cast<TKelObj*>(copy.get())->Assign(this);
    return static_cast<TKelObj*>(copy.release());
}

TKelObj* TKelObj::duplicate(const TKelObj* Obj) {
    return Obj ? Obj->duplicate() : nullptr;
}

// ---- TKelList

void TKelList::CopyBodyTo(TKelList*) const {}

void TKelList::CopyItemsTo(TList* Dest) const {
    const int n = Count();
    for (int i = 0; i < n; ++i) {
        TObject* item = GetItems(i);
        std::unique_ptr<TObject> copy;
        if (IsA(item, TKelObj::StaticClass()))
            copy.reset(static_cast<TKelObj*>(item)->duplicate());
        else if (IsA(item, TKelList::StaticClass()))
            copy.reset(static_cast<TKelList*>(item)->duplicate());
        else
            continue;
        Dest->Add(copy.get());
        copy.release();
    }
}

TKelList* TKelList::duplicate() const {
    std::unique_ptr<TObject> obj(ClassType()->Create());
    auto* copy = static_cast<TKelList*>(obj.get());
    try {
        CopyBodyTo(copy);
        CopyItemsTo(copy);
    } catch (...) {
        ClearAll(copy);
        throw;
    }
    return static_cast<TKelList*>(obj.release());
}

void TKelList::FreeItem(int ix) {
    if (ix < 0 || ix >= Count())
        return;
    FreeListItem(GetItems(ix));
    Delete(ix);
}

void TKelList::ClearAll() {
    // Item by item from the front, each entry dropped before the next item is
    // freed; the entries go in one step rather than by shifting.
    const int n = Count();
    for (int i = 0; i < n; ++i) {
        TObject* item = GetItems(i);
        SetItems(i, nullptr);
        FreeListItem(item);
    }
    SetCount(0);
}

void TKelList::ClearAll(TKelList* List) {
    if (List)
        List->ClearAll();
}

void TKelList::FreeAll(TKelList* List) {
    if (!List)
        return;
    const int n = List->Count();
    for (int i = 0; i < n; ++i)
        FreeListItem(List->GetItems(i));
    delete List;
}

// ---- TKelListObj

TKelListObj::~TKelListObj() {
    delete FList;
}

void TKelListObj::Create() {
    TKelObj::Create();
    FList = KelNewCreated<TKelList>();
    FElmClass = TKelObj::StaticClass();
}

void TKelListObj::AssignTo(TPersistent* Dest) const {
    TKelObj::AssignTo(Dest);
    if (!IsA(Dest, TKelListObj::StaticClass()))
        return;
    auto* dest = static_cast<TKelListObj*>(Dest);
    CopyElmClassTo(dest);
    CopyItemsTo(dest);
}

void TKelListObj::CopyElmClassTo(TKelListObj* Dest) const {
    Dest->SetElmClass(ElmClass());
}

void TKelListObj::CopyItemsTo(TKelListObj* Dest) const {
    // Copying onto itself, or onto an object sharing this inner list, would
    // free the very items being copied.
    if (Dest == this || (FList && Dest->FList == FList))
        return;
    // The copies are made first: a failing copy leaves Dest as it was.
    std::vector<std::unique_ptr<TObject>> copies;
    const int n = Count();
    for (int i = 0; i < n; ++i) {
        TObject* item = FList->GetItems(i);
        std::unique_ptr<TObject> copy(FElmClass ? FElmClass->NewInstance() : nullptr);
        const bool canAssign = IsA(copy.get(), TPersistent::StaticClass()) &&
                               (!item || IsA(item, TPersistent::StaticClass()));
        if (!canAssign)
            throw EConvertError(
                ConvertErrorText(NameOrNil(item), FElmClass ? FElmClass->Name : "nil"));
        static_cast<TPersistent*>(copy.get())->Assign(static_cast<TPersistent*>(item));
        copies.push_back(std::move(copy));
    }
    if (Dest->FList)
        Dest->FList->ClearAll();
    else
        Dest->FList = KelNewCreated<TKelList>();
    for (auto& copy : copies) {
        Dest->FList->Add(copy.get());
        copy.release();
    }
}

void TKelListObj::Clear() {
    if (FList)
        FList->Clear();
}

int TKelListObj::Count() const {
    return FList ? FList->Count() : 0;
}

void TKelListObj::SetCount(int Value) {
    if (FList)
        FList->SetCount(Value);
}

int TKelListObj::Capacity() const {
    return FList ? FList->Capacity() : 0;
}

void TKelListObj::SetCapacity(int Value) {
    if (FList)
        FList->SetCapacity(Value);
}

TKelObj* TKelListObj::GetItems(int Index) const {
    if (!FList)
        return nullptr;
    TObject* item = FList->GetItems(Index);
    return IsA(item, TKelObj::StaticClass()) ? static_cast<TKelObj*>(item) : nullptr;
}

void TKelListObj::SetItems(int Index, TKelObj* Value) {
    if (FList)
        FList->SetItems(Index, Value);
}

int TKelListObj::Add(TKelObj* Item) {
    return FList ? FList->Add(Item) : -1;
}

void TKelListObj::Insert(int Index, TKelObj* Item) {
    if (FList)
        FList->Insert(Index, Item);
}

void TKelListObj::Delete(int Index) {
    if (FList)
        FList->Delete(Index);
}

void TKelListObj::Exchange(int Index1, int Index2) {
    if (FList)
        FList->Exchange(Index1, Index2);
}

TKelObj* TKelListObj::Extract(TKelObj* Item) {
    return FList && FList->Extract(Item) ? Item : nullptr;
}

int TKelListObj::IndexOf(const TKelObj* Item) const {
    return FList ? FList->IndexOf(Item) : -1;
}

int TKelListObj::Remove(TKelObj* Item) {
    return FList ? FList->Remove(Item) : -1;
}

void TKelListObj::Sort(TListSortCompare Compare) {
    if (FList)
        FList->Sort(Compare);
}

void TKelListObj::ClearAll() {
    TKelList::ClearAll(FList);
}

void TKelListObj::FreeItem(int ix) {
    if (FList)
        FList->FreeItem(ix);
}

void TKelListObj::FreeAll(TKelListObj* Obj) {
    if (!Obj)
        return;
    Obj->ClearAll();
    delete Obj;
}
