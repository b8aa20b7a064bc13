#include "StringResources.h"

#include <algorithm>
#include <vector>

namespace {
std::vector<const TStringTable*>& Tables() {
    static std::vector<const TStringTable*> tables;
    return tables;
}
} // namespace

void RegisterStringTable(const TStringTable* Table, bool Base) {
    UnregisterStringTable(Table);
    if (Base)
        Tables().insert(Tables().begin(), Table);
    else
        Tables().push_back(Table);
}

void UnregisterStringTable(const TStringTable* Table) {
    auto& t = Tables();
    t.erase(std::remove(t.begin(), t.end(), Table), t.end());
}

QString LoadString(int Id) {
    const auto& t = Tables();
    for (auto it = t.rbegin(); it != t.rend(); ++it) {
        auto found = (*it)->find(Id);
        if (found != (*it)->end())
            return found->second;
    }
    return {};
}
