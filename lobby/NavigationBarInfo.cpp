#include "NavigationBarInfo.h"

#include <algorithm>

int CNavigationBarInfo::GetTotalOnlineCount() {
    total = 0;
    for (CCategoryInfo& c : categories) total += c.RecountOnline();
    return total;
}

void CNavigationBarInfo::UpdateFavouriteCategory(int loginType) {
    auto fav = std::find_if(categories.begin(), categories.end(), [](const CCategoryInfo& c) { return c.type == 4; });
    if (loginType == 1) {
        if (fav != categories.end()) categories.erase(fav);
        return;
    }
    if (fav != categories.end()) {
        if (fav + 1 == categories.end()) return;
        categories.erase(fav);
    }
    CCategoryInfo c;
    c.type = 4;
    c.name = "我的房间";
    CategoryItem item;
    item.id = 1;
    item.name = "收藏房间";
    c.items.push_back(item);
    categories.push_back(std::move(c));
}

CCategoryInfo* CNavigationBarInfo::FindCategory(int uniqueId) {
    for (CCategoryInfo& c : categories)
        if (c.uniqueId == uniqueId) return &c;
    return nullptr;
}

CategoryItem* CNavigationBarInfo::FindItem(int uniqueId) {
    for (CCategoryInfo& c : categories)
        for (CategoryItem& i : c.items)
            if (i.uniqueId == uniqueId) return &i;
    return nullptr;
}

CCategoryInfo* CNavigationBarInfo::FindItemCategory(int uniqueId) {
    for (CCategoryInfo& c : categories)
        for (CategoryItem& i : c.items)
            if (i.uniqueId == uniqueId) return &c;
    return nullptr;
}
