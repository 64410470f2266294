#include "CategoryRecords.h"

#include <atomic>

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
