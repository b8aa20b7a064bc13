#pragma once
// The per-user settings store: a registry-like set of keys holding named values,
// kept in one text file in the registry export format.

#include "Exception.h"

#include <QString>
#include <functional>
#include <memory>

class ESettingsStore : public Exception {
public:
    using Exception::Exception;
};

// The operations the program needs from the store. One key is open at a time.
class TSettingsStore {
public:
    virtual ~TSettingsStore() = default;
    // Opens a key directly under the current user's hive; slashes are part of
    // the name. With Create, a missing key is made (and written on close).
    // A store that is there but cannot be read (a file that is damaged, not
    // text, too large or not readable) raises an error that says why; it is
    // never written over.
    virtual bool OpenKey(const QString& Key, bool Create) = 0;
    // "" when the value is missing or empty. A value that is not a string
    // raises "Invalid data type for '<Name>'"; one that is there but cannot
    // be read raises an error too, and never reads as missing.
    virtual QString ReadString(const QString& Name) = 0;
    // Creates or replaces a string value; the file is rewritten at once.
    // A failure raises "Failed to set data for '<Name>'", followed by the
    // reason when the file or the value is damaged and so left as it is.
    virtual void WriteString(const QString& Name, const QString& Value) = 0;
    virtual void CloseKey() = 0;
};

// $XDG_CONFIG_HOME/vellomar/user.reg, or ~/.config/vellomar/user.reg.
QString DefaultSettingsPath();

// A store over one file in the registry export format.
std::unique_ptr<TSettingsStore> CreateFileSettingsStore(const QString& Path);

// The current user's store. Tests may swap the factory for a fake one.
std::unique_ptr<TSettingsStore> OpenCurrentUserStore();
using TSettingsStoreFactory = std::function<std::unique_ptr<TSettingsStore>()>;
void SetCurrentUserStoreFactory(TSettingsStoreFactory Factory); // empty: the default
