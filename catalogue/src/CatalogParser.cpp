#include "CatalogParser.h"

#include <json/value.h>

#include "JsonSafe.h"
#include "ZqLib.h"
#include "ZqLog.h"

namespace {

using JsonSafe::ReadString;

// An unsigned 32-bit member; false and `out` untouched when absent, null or not convertible.
bool ReadU32(const Json::Value& obj, const char* key, uint32_t& out) {
    return JsonSafe::ReadUInt(obj, key, out);
}

thread_local unsigned t_namesCut = 0;  // names cut to the 255-byte limit in the file being parsed

bool ReadName(const Json::Value& obj, const char* key, std::string& out) {
    std::string raw;
    if (!ReadString(obj, key, raw)) return false;
    out = DecodeName(raw);
    if (out.size() >= 254 && UrlEncode::Decode(raw).size() > out.size()) ++t_namesCut;
    return true;
}

bool ParseJson(const std::string& text, Json::Value& root) {
    std::string error;
    if (JsonSafe::Parse(text, root, &error)) return true;
    PJ_Log("Halvec.txt", LOG_FAILURE, "CHalvec::ParseJson", "%s; refused", error.c_str());
    return false;
}

// Fills the members every catalogue has besides id and pri.
void ReadCatalogItem(const Json::Value& v, CatalogItem& item) {
    ReadName(v, "name", item.name);
    ReadString(v, "fname", item.fname);
}

void ReadItem(const Json::Value& v, CatalogItem& item) {
    ReadCatalogItem(v, item);
}

void ReadItem(const Json::Value& v, UserPhotoItem& item) {
    ReadCatalogItem(v, item);
    ReadString(v, "smallfname", item.smallfname);
}

void ReadItem(const Json::Value& v, LevelItem& item) {
    ReadCatalogItem(v, item);
    ReadU32(v, "previd", item.previd);
    ReadU32(v, "nextid", item.nextid);
    ReadU32(v, "upgradeleft", item.upgradeleft);
}

void ReadTagItem(const Json::Value& v, GiftItem& item) {
    ReadCatalogItem(v, item);
    ReadString(v, "smallfname", item.smallfname);
    ReadU32(v, "price", item.price);
    ReadU32(v, "starttm", item.starttm);
    ReadU32(v, "endtm", item.endtm);
    ReadU32(v, "duetime", item.duetime);
    ReadU32(v, "attr", item.attr);
}

void ReadGiftItem(const Json::Value& v, GiftItem& item) {
    ReadTagItem(v, item);
    // ratio is an amount: ratio x price / 100, in 32-bit arithmetic; price is read first whatever the order.
    uint32_t ratio = 0;
    if (ReadU32(v, "ratio", ratio)) item.ratio = static_cast<uint32_t>(ratio * item.price) / 100u;
    ReadName(v, "tips", item.tips);
    ReadString(v, "mcid", item.mcid);
    ReadString(v, "swffname", item.swffname);
    ReadU32(v, "showtype", item.showtype);
}

void ReadGroupExtra(const Json::Value&, CatalogGroupInfo&) {}

void ReadGroupExtra(const Json::Value& g, FaceGroupInfo& key) {
    uint32_t boxtype = 0;
    if (ReadU32(g, "boxtype", boxtype)) key.boxtype = boxtype != 0;
}

template <class Key, class Item, class Fill>
bool LoadList(const std::string& text, const char* listKey, Catalog<Key, Item>& out, Fill fill) {
    Json::Value root;
    if (!ParseJson(text, root)) return false;
    const Json::Value* list = &JsonSafe::Get(root, listKey);
    if (!list->isArray()) {
        PJ_Log("Halvec.txt", LOG_FAILURE, "CHalvec::LoadList", "no \"%s\" array", listKey);
        return true;
    }
    unsigned skippedGroups = 0, skippedItems = 0;
    t_namesCut = 0;
    for (Json::ArrayIndex g = 0; g < list->size(); ++g) {
        const Json::Value& group = (*list)[g];
        Key key;
        uint32_t idx = 0;
        const Json::Value* items = &JsonSafe::Get(group, "list");
        if (!ReadU32(group, "idx", idx) || !ReadName(group, "name", key.name) || !ReadString(group, "path", key.path) ||
            !items->isArray() || items->empty()) {
            ++skippedGroups;
            continue;
        }
        key.idx = idx & 0xFFFFu;
        if (key.path.empty() || (key.path.back() != '\\' && key.path.back() != '/')) key.path += '\\';
        ReadGroupExtra(group, key);

        typename Catalog<Key, Item>::Items stored;
        for (Json::ArrayIndex i = 0; i < items->size(); ++i) {
            const Json::Value& v = (*items)[i];
            Item item;
            if (!ReadU32(v, "id", item.id) || !ReadU32(v, "pri", item.pri)) {
                ++skippedItems;
                continue;
            }
            fill(v, item);
            stored[item.id] = std::move(item);  // a later duplicate id replaces the earlier one
        }
        if (!stored.empty()) out.PutGroup(key, std::move(stored));
    }
    if (skippedGroups || skippedItems)
        PJ_Log("Halvec.txt", LOG_FAILURE, "CHalvec::LoadList", "\"%s\": groups skipped: %u, items skipped: %u", listKey,
               skippedGroups, skippedItems);
    if (t_namesCut)
        PJ_Log("Halvec.txt", LOG_FAILURE, "CHalvec::LoadList", "\"%s\": names cut to 255 bytes: %u", listKey,
               t_namesCut);
    return true;
}

template <class Item>
void FillPlain(const Json::Value& v, Item& item) {
    ReadItem(v, item);
}

}  // namespace

std::string DecodeName(const std::string& encoded) {
    char buf[256] = {0};
    UrlEncode::DecodeEx(encoded.c_str(), buf, sizeof buf);
    buf[sizeof buf - 1] = '\0';
    return std::string(buf);
}

bool LoadGiftList(const std::string& text, GiftCatalog& out) {
    return LoadList(text, "giftlist", out, ReadGiftItem);
}

bool LoadTagList(const std::string& text, GiftCatalog& out) {
    return LoadList(text, "taglist", out, ReadTagItem);
}

bool LoadFaceList(const std::string& text, FaceCatalog& out) {
    return LoadList(text, "facelist", out, FillPlain<CatalogItem>);
}

bool LoadUserPhotoList(const std::string& text, UserPhotoCatalog& out) {
    return LoadList(text, "userphotolist", out, FillPlain<UserPhotoItem>);
}

bool LoadRoleList(const std::string& text, ItemCatalog& out) {
    return LoadList(text, "rolelist", out, FillPlain<CatalogItem>);
}

bool LoadIconList(const std::string& text, ItemCatalog& out) {
    return LoadList(text, "iconlist", out, FillPlain<CatalogItem>);
}

bool LoadEnterShowList(const std::string& text, ItemCatalog& out) {
    return LoadList(text, "entershowlist", out, FillPlain<CatalogItem>);
}

bool LoadColorBarList(const std::string& text, ItemCatalog& out) {
    return LoadList(text, "colorbarlist", out, FillPlain<CatalogItem>);
}

bool LoadLevelList(const std::string& text, LevelCatalog& out) {
    if (!LoadList(text, "levellist", out, FillPlain<LevelItem>)) return false;
    if (out.empty()) {
        PJ_Log("Halvec.txt", LOG_FAILURE, "CHalvec::LoadLevelList", "加载等级配置文件失败");
        LoadDefaultLevelList(out);
    }
    return true;
}

void LoadDefaultLevelList(LevelCatalog& out) {
    struct Rung {
        uint32_t id;
        const char* name;
        uint32_t nextid;
    };
    static const Rung kLadder[] = {
        {100, "游客", 200},       {200, "注册用户", 300}, {300, "VIP", 1000},       {400, "一星主持", 500},
        {500, "二星主持", 600},   {600, "三星主持", 700}, {700, "四星主持", 800},   {800, "五星主持", 900},
        {900, "超级主持", 900},   {1000, "大亨", 1100},   {1100, "超级大亨", 1200}, {1200, "财主", 1300},
        {1300, "超级管理", 1400}, {1400, "富豪", 1500},   {1500, "至尊", 1600},     {1600, "客服", 1600},
        {1700, "巡管", 1700},
    };
    LevelCatalog::Items items;
    for (const Rung& rung : kLadder) {
        LevelItem item;
        item.id = rung.id;
        item.name = rung.name;
        item.nextid = rung.nextid;
        items[item.id] = item;
    }
    CatalogGroupInfo key;  // idx 0, no name, no path
    out.PutGroup(key, std::move(items));
}
