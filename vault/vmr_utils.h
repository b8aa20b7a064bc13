#pragma once
// Pages and the page list, the stored password and the unlock check.

#include "kel_utils.h"

#include <QByteArray>
#include <QString>
#include <string>

class TSettingsStore;

// One page: a title and the editor's bytes for its body.
class TPage : public TKelObj {
public:
    KEL_DECLARE_CLASS(TPage)
    const QByteArray& Text() const { return FText; }
    void SetText(const QByteArray& Value) { FText = Value; }
    const QString& Title() const { return FTitle; }
    // Moves the page in no list; a list holding it is sorted again by its
    // next AddPage or SortList.
    void SetTitle(const QString& Value);

private:
    friend class TPageList;
    QByteArray FText;
    QString FTitle;
    // Set once the page has been in a sorted page list: from then on its
    // title changes may leave such a list out of order.
    bool FListed = false;
};

// Orders pages by title, comparing UTF-16 code units with only 'A' to 'Z'
// taken as lower case. An entry that is not a page counts as an empty title.
int ComparePageTitles(TObject* Item1, TObject* Item2);

// The pages of the vault, in ComparePageTitles order after every AddPage and
// SortList. Holds references only: ClearAll and FreeAll free the pages.
class TPageList : public TKelList {
public:
    KEL_DECLARE_CLASS(TPageList)
    // Adds p and returns the index of its first entry, with the list in
    // ComparePageTitles order.
    int AddPage(TPage* p);
    // The same for any order. While the list is known to be in that order, p
    // is inserted at its place with a binary search; otherwise the whole list
    // is sorted.
    int AddSorted(TPage* p, TListSortCompare Compare);
    void SortList();
    // True while the list is known to be in ComparePageTitles order: AddPage
    // then inserts without moving any other entry out of its order.
    bool InTitleOrder() const { return KnownSortedBy(ComparePageTitles); }
    // The page at Index; null for an entry that is not a page. An index out of
    // range raises EListError.
    TPage* GetPages(int Index) const;

private:
    void SortBy(TListSortCompare Compare);
    bool KnownSortedBy(TListSortCompare Compare) const;
    void MarkSortedBy(TListSortCompare Compare);

    TListSortCompare FSortedBy = nullptr;
    std::uint64_t FSortedAtOrderChange = 0;
    std::uint64_t FSortedAtTitleChange = 0;
};

// The fixed key that encrypts passwords (AES-192 on its first 24 bytes).
extern const std::string PasswordKey;
// The password that unlocks while no password has been stored.
extern const QString DefaultPassword;
// Its crypt string, held in memory until the store is read.
extern const std::string DefaultCryptString;

// The crypt string that unlocks: the built-in default until the store is read,
// then the stored one; wiped when the process ends.
extern std::string StoredCryptString;

// Settings key and value that keep the crypt string between runs.
extern const QString SettingsKey;
extern const QString SettingsValue;

// The crypt string of a password: its Windows-1252 bytes encrypted under
// PasswordKey.
std::string CryptStringOf(const QString& Password);

// True exactly when Typed encrypts to StoredCryptString.
bool PasswordMatches(const QString& Typed);

// Replaces StoredCryptString with the stored value when the settings key
// opens; leaves it unchanged otherwise. A value of the wrong type, a damaged
// value and a store that cannot be read throw, and leave it unchanged too:
// only a value that is really missing or empty makes it empty.
void ReadStoredCryptString(TSettingsStore& Store);

// Writes StoredCryptString to the store, creating the key. Nothing happens
// when the key cannot be opened; a failing write throws, and so does a store
// that cannot be read, which is left as it is.
void WriteStoredCryptString(TSettingsStore& Store);

// False when the store holds another crypt string (or none, or one where there
// was none) than it did when this process last read or wrote it: another copy
// of the program changed the password meanwhile. True before the first read.
// Asked before a write, so a store that cannot be read throws the write's
// failure.
bool StoredCryptStringKept(TSettingsStore& Store);
