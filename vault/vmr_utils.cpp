#include "vmr_utils.h"

#include "AnsiCodePage.h"
#include "SecureText.h"
#include "SettingsStore.h"
#include "cCipherAES.h"
#include "cCipherUtils.h"

#include <QScopeGuard>

#include <algorithm>
#include <optional>

const std::string PasswordKey = "Wj3%Pz8&Hd5*Nq1^Yt6(Bc0)Fs4+Gv2";
const QString DefaultPassword = QStringLiteral("vellomar");
const std::string
    DefaultCryptString("\x7e\x5f\x91\x83\x4e\x6d\xf8\xd3\xd6\xdb\x86\xa5\x95\xcf\xad\x06", 16);

std::string StoredCryptString = DefaultCryptString;

namespace {
// The store's crypt string as this process last read or wrote it.
struct TKnownCryptString {
    bool Known = false;
    bool Present = false; // the key was there
    std::string Value;
} KnownCryptString;

// Defined after the crypt strings, so destroyed before them: they are wiped
// as the process ends.
struct TCryptStringWiper {
    ~TCryptStringWiper() {
        SecureZero(StoredCryptString);
        SecureZero(KnownCryptString.Value);
    }
} cryptStringWiper;

struct TKeyCloser {
    TSettingsStore& Store;
    ~TKeyCloser() { Store.CloseKey(); }
};
} // namespace

const QString SettingsKey = QStringLiteral("Software/Ostrand/VMR/Settings");
const QString SettingsValue = QStringLiteral("Data");

std::string CryptStringOf(const QString& Password) {
    std::string plain = AnsiFromUnicode(Password);
    std::string crypt = EncryptText(PasswordKey, plain);
    SecureZero(plain);
    return crypt;
}

bool PasswordMatches(const QString& Typed) {
    std::string crypt = CryptStringOf(Typed);
    const bool match = crypt == StoredCryptString;
    SecureZero(crypt);
    return match;
}

namespace {
// The stored crypt string; nothing when the key is not there. A store that
// cannot be read, or a value that is damaged, raises its error.
std::optional<std::string> CryptStringInStore(TSettingsStore& Store) {
    if (!Store.OpenKey(SettingsKey, false))
        return std::nullopt;
    TKeyCloser closer{Store};
    QString text = Store.ReadString(SettingsValue);
    std::optional<std::string> crypt = AnsiFromUnicode(text);
    WipeOwned(text);
    return crypt;
}

void Remember(const std::optional<std::string>& Value) {
    KnownCryptString.Known = true;
    KnownCryptString.Present = Value.has_value();
    if (Value)
        AssignSecret(KnownCryptString.Value, *Value);
    else
        SecureZero(KnownCryptString.Value);
}

// A store that cannot be read is not written either; the user hears why.
[[noreturn]] void ThrowWriteFailure(const ESettingsStore& Cause) {
    throw ESettingsStore("Failed to set data for '" + SettingsValue.toStdString() + "'. " +
                         Cause.Message());
}
} // namespace

void ReadStoredCryptString(TSettingsStore& Store) {
    std::optional<std::string> stored = CryptStringInStore(Store);
    Remember(stored);
    if (stored) {
        AssignSecret(StoredCryptString, *stored);
        SecureZero(*stored);
    }
}

void WriteStoredCryptString(TSettingsStore& Store) {
    bool opened = false;
    try {
        opened = Store.OpenKey(SettingsKey, true);
    } catch (const ESettingsStore& e) {
        ThrowWriteFailure(e);
    }
    if (!opened)
        return;
    TKeyCloser closer{Store};
    QString text = UnicodeFromAnsi(StoredCryptString);
    const auto wipe = qScopeGuard([&text] { WipeOwned(text); });
    Store.WriteString(SettingsValue, text);
    Remember(StoredCryptString);
}

bool StoredCryptStringKept(TSettingsStore& Store) {
    if (!KnownCryptString.Known)
        return true;
    std::optional<std::string> stored;
    try {
        stored = CryptStringInStore(Store);
    } catch (const ESettingsStore& e) {
        ThrowWriteFailure(e);
    }
    const bool kept = stored.has_value() == KnownCryptString.Present &&
                      (!stored || *stored == KnownCryptString.Value);
    if (stored)
        SecureZero(*stored);
    return kept;
}

// ---- Pages

namespace {
// Title changes of pages that have been in a sorted page list; a list that
// saw this count move may be out of order.
std::uint64_t ListedTitleChanges = 0;

const QString& TitleOf(TObject* Item) {
    static const QString empty;
    return IsA(Item, TPage::StaticClass()) ? static_cast<TPage*>(Item)->Title() : empty;
}

char16_t FoldAsciiUpper(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c;
}
} // namespace

KEL_DEFINE_CLASS(TPage, TKelObj)
KEL_DEFINE_CLASS(TPageList, TKelList)

void TPage::SetTitle(const QString& Value) {
    FTitle = Value;
    if (FListed)
        ++ListedTitleChanges;
}

int ComparePageTitles(TObject* Item1, TObject* Item2) {
    const QString& a = TitleOf(Item1);
    const QString& b = TitleOf(Item2);
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t x = FoldAsciiUpper(a[i].unicode());
        const char16_t y = FoldAsciiUpper(b[i].unicode());
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

int TPageList::AddPage(TPage* p) {
    return AddSorted(p, ComparePageTitles);
}

int TPageList::AddSorted(TPage* p, TListSortCompare Compare) {
    if (!KnownSortedBy(Compare)) {
        Add(p);
        SortBy(Compare);
        return IndexOf(p);
    }
    // The first place whose entry is not less than p: an entry already
    // referring to p lies in p's run of equals, so the new one comes first.
    // Pages read from a vault come in order, so the end is tried first.
    int lo = 0, hi = Count();
    if (hi > 0 && Compare(GetItems(hi - 1), p) < 0)
        lo = hi;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (Compare(GetItems(mid), p) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    Insert(lo, p);
    if (p)
        p->FListed = true;
    MarkSortedBy(Compare);
    return lo;
}

void TPageList::SortList() {
    SortBy(ComparePageTitles);
}

TPage* TPageList::GetPages(int Index) const {
    TObject* item = GetItems(Index);
    return IsA(item, TPage::StaticClass()) ? static_cast<TPage*>(item) : nullptr;
}

void TPageList::SortBy(TListSortCompare Compare) {
    Sort(Compare);
    for (int i = 0; i < Count(); ++i)
        if (TPage* p = GetPages(i))
            p->FListed = true;
    MarkSortedBy(Compare);
}

bool TPageList::KnownSortedBy(TListSortCompare Compare) const {
    return FSortedBy == Compare && FSortedAtOrderChange == OrderChanges() &&
           FSortedAtTitleChange == ListedTitleChanges;
}

void TPageList::MarkSortedBy(TListSortCompare Compare) {
    FSortedBy = Compare;
    FSortedAtOrderChange = OrderChanges();
    FSortedAtTitleChange = ListedTitleChanges;
}
