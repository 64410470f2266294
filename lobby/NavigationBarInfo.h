// The lobby's room directory: the categories of the last "getallnav" reply, the client-made favourites
// category, online counting and the look-ups of a clicked tree row. Used by the main frame's UI thread only;
// the worker hands replies over by posting a copy.
#pragma once

#include <vector>

#include "CategoryRecords.h"

class CNavigationBarInfo {
public:
    virtual ~CNavigationBarInfo() = default;

    // total = the sum of every category's recount; returns it.
    int GetTotalOnlineCount();
    // Keeps the favourites category (type 4) in line with the login type: removed for guests (1), else the
    // last category.
    void UpdateFavouriteCategory(int loginType);
    CCategoryInfo* FindCategory(int uniqueId);
    CategoryItem* FindItem(int uniqueId);
    CCategoryInfo* FindItemCategory(int uniqueId);

    int total = 0;
    std::vector<CCategoryInfo> categories;
};
