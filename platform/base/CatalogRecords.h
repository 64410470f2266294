// Catalogue value records: copies of the catalogue plug-in's entries (gifts, emoticons, levels, roles, icons,
// user photos, enter shows, tags, colour bars, cities) handed to the program. The program constructs them,
// passes them to the plug-in's getters, and owns them. Texts are GBK; file names come back with the group's
// folder in front where the getter says so ("\\" separators kept as stored).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The largest catalogue file the plug-in reads (larger ones it refuses); the updater installs none larger.
constexpr size_t kCatalogueMaxFileBytes = size_t(4) << 20;
constexpr size_t kWordFilterMaxFileBytes = size_t(32) << 20;  // "wordfilter.conf"

// Catalogues named by the updater's change mask; Reload takes any combination.
enum RESOURCE_TYPE_MASK : int {
    RES_FACE = 0x1,          // "face.conf"
    RES_GIFT = 0x2,          // "gift.conf"
    RES_ICON = 0x4,          // "icon.conf"
    RES_TAG = 0x8,           // "tag.conf"
    RES_LEVEL = 0x10,        // "level.conf"
    RES_ROLE = 0x20,         // "role.conf"
    RES_USERPHOTO = 0x40,    // "userphoto.conf"
    RES_ENTERSHOW = 0x80,    // "entershow.conf"
    RES_POWER = 0x100,       // "power.conf"
    RES_WORDFILTER = 0x200,  // "wordfilter.conf"
    RES_CITY = 0x400,        // "city.conf"
    RES_COLORBAR = 0x800,    // "colorbar.conf"
    RES_ALL = 0xFFF
};

// A catalogue group without its items. Groups are ordered by idx alone (the low 16 bits of the file's
// value); name and path take no part in the order. path ends with "\\" or "/" (empty for the built-in ladder).
struct CatalogGroupInfo {
    uint32_t idx = 0;
    std::string name;
    std::string path;
};
inline bool operator<(const CatalogGroupInfo& a, const CatalogGroupInfo& b) {
    return a.idx < b.idx;
}

// The emoticon catalogue's group key.
struct FaceGroupInfo : CatalogGroupInfo {
    bool boxtype = false;
};

// Emoticons, roles, icons, enter shows and colour bars.
struct CatalogItem {
    uint32_t id = 0;
    uint32_t pri = 0;  // sort priority
    std::string name;
    std::string fname;  // picture file name
};

struct LevelItem : CatalogItem {
    uint32_t previd = 0;
    uint32_t nextid = 0;
    uint32_t upgradeleft = 0;
};

struct UserPhotoItem : CatalogItem {
    std::string smallfname;
};

// Gifts, and tags (stamps) in the same layout.
struct GiftItem : CatalogItem {
    std::string smallfname;
    uint32_t price = 0;
    uint32_t ratio = 0;  // ratio x price / 100, computed when loaded
    uint32_t starttm = 0;
    uint32_t endtm = 0;
    std::string tips = "\xB8\xF6";  // unit word shown after a count: GBK "个"
    std::string mcid;
    uint32_t showtype = 0;
    std::string swffname;  // the effect movie
    uint32_t duetime = 0;
    uint32_t attr = 0;
};

struct CityInfo {
    std::string province;
    std::vector<std::string> cities;
};

// Whole-catalogue copies: group key -> (id -> item record created for the caller, who deletes it).
template <class Key, class Item>
using CatalogCopy = std::map<Key, std::map<uint32_t, Item*>>;
using GiftCatalogCopy = CatalogCopy<CatalogGroupInfo, GiftItem>;
using TagCatalogCopy = CatalogCopy<CatalogGroupInfo, GiftItem>;
using FaceCatalogCopy = CatalogCopy<FaceGroupInfo, CatalogItem>;
using ColorBarCatalogCopy = CatalogCopy<CatalogGroupInfo, CatalogItem>;

// Deletes every record of a copy and empties it.
template <class Key, class Item>
void FreeCatalogCopy(CatalogCopy<Key, Item>& copy) {
    for (auto& group : copy)
        for (auto& item : group.second) delete item.second;
    copy.clear();
}

// Deletes the records of a city list and empties it.
inline void FreeCityList(std::vector<CityInfo*>& list) {
    for (CityInfo* city : list) delete city;
    list.clear();
}
