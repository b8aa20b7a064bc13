#pragma once
// String resources addressed by number. Libraries register their tables; a
// number that no table holds yields "".

#include <QString>
#include <map>

using TStringTable = std::map<int, QString>;

// Later tables win, so a translation can be laid over the built-in texts. A
// base table goes below every other.
void RegisterStringTable(const TStringTable* Table, bool Base = false);
void UnregisterStringTable(const TStringTable* Table);
QString LoadString(int Id);
