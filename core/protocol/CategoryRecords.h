// Room directory records filled from the lobby replies. Every constructed record takes the next unique id of
// one process-wide atomic counter (the first is 1); copies keep the id of their source.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

int NextDirectoryUniqueId();

struct CategoryItem {
    CategoryItem() : uniqueId(NextDirectoryUniqueId()) {}
    int uniqueId;
    int id = 0;
    std::string name;  // URL-decoded GBK
    int cnt = 0;
    std::string url;  // activity and game entries
};

class CCategoryInfo {
public:
    CCategoryInfo() : uniqueId(NextDirectoryUniqueId()) {}
    virtual ~CCategoryInfo() = default;
    CCategoryInfo(const CCategoryInfo&) = default;
    CCategoryInfo& operator=(const CCategoryInfo&) = default;

    // count = the sum of the items' cnt (a category without items keeps its own count); returns it.
    int RecountOnline();
    // The first item with the given id takes its cnt; false when none has that id.
    bool UpdateItemCount(const CategoryItem& item);
    // The same for each of `updates` in turn, in one pass over the items; returns how many found their item.
    int UpdateItemCounts(const std::vector<CategoryItem>& updates);

    int uniqueId;
    int type = 255;  // 1 categories, 2 activities, 3 games, 4 favourites, 5 official
    std::string name;
    int count = 0;
    std::vector<CategoryItem> items;
};
