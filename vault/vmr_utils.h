#pragma once
// The stored password and the unlock check.

#include <QString>
#include <string>

class TSettingsStore;

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
// opens; leaves it unchanged otherwise. A value of the wrong type throws.
void ReadStoredCryptString(TSettingsStore& Store);

// Writes StoredCryptString to the store, creating the key. Nothing happens
// when the key cannot be opened; a failing write throws.
void WriteStoredCryptString(TSettingsStore& Store);
