#include "CategoryRecords.h"

#include <atomic>
#include <unordered_map>

int NextDirectoryUniqueId() {
    static std::atomic<int> counter{0};
    return ++counter;
}

int CCategoryInfo::RecountOnline() {
    // A category without items (the official rooms) keeps the count the service gave it.
    if (items.empty()) return count;
    int sum = 0;
    for (const CategoryItem& i : items) sum += i.cnt;
    count = sum;
    return count;
}

bool CCategoryInfo::UpdateItemCount(const CategoryItem& item) {
    for (CategoryItem& i : items) {
        if (i.id == item.id) {
            i.cnt = item.cnt;
            return true;
        }
    }
    return false;
}

int CCategoryInfo::UpdateItemCounts(const std::vector<CategoryItem>& updates) {
    std::unordered_map<int, CategoryItem*> byId;
    byId.reserve(items.size());
    for (CategoryItem& i : items) byId.emplace(i.id, &i);  // the first of an id
    int found = 0;
    for (const CategoryItem& u : updates) {
        auto it = byId.find(u.id);
        if (it == byId.end()) continue;
        it->second->cnt = u.cnt;
        ++found;
    }
    return found;
}
