// The lookups: each takes the catalogue lock for reading once and copies what it returns.
#include <memory>

#include "Halvec.h"
#include "HalvecGuard.h"

namespace {

enum Hit { kNone = 0, kNamedGroup = 1, kAnyGroup = 2 };

template <class Key, class Item>
Hit Find(const Catalog<Key, Item>& cat, int group, uint32_t id, const Key** key, const Item** item) {
    if (group >= 0) {
        if (const auto* g = cat.FindGroup(static_cast<uint32_t>(group) & 0xFFFFu)) {
            auto it = g->second.find(id);
            if (it != g->second.end()) {
                *key = &g->first;
                *item = &it->second;
                return kNamedGroup;
            }
        }
    }
    const Key* k = cat.FindInAll(id, item);
    if (!k) return kNone;
    *key = k;
    return kAnyGroup;
}

// Copies the item of `id` from whichever group holds it into `out`; the group, or null (out untouched).
template <class Key, class Item>
const Key* CopyFromAll(const Catalog<Key, Item>& cat, uint32_t id, Item& out) {
    const Item* item = nullptr;
    const Key* key = cat.FindInAll(id, &item);
    if (key) out = *item;
    return key;
}

// Copies a whole catalogue into caller-owned records; a group already in `out` keeps its key and gets the
// new records, its old ones deleted.
template <class Key, class Item>
void CopyCatalog(const Catalog<Key, Item>& cat, CatalogCopy<Key, Item>& out) {
    for (const auto& group : cat.groups()) {
        std::map<uint32_t, std::unique_ptr<Item>> owned;
        for (const auto& item : group.second) owned[item.first] = std::make_unique<Item>(item.second);
        std::map<uint32_t, Item*> items;
        for (auto& item : owned) items[item.first] = item.second.release();
        auto existing = out.find(group.first);
        if (existing == out.end()) {
            out.emplace(group.first, std::move(items));
        } else {
            for (auto& old : existing->second) delete old.second;
            existing->second = std::move(items);
        }
    }
}

}  // namespace

#define READ_LOCK CLockObject lock(&m_lock, CReadWriteLock::LOCK_READ)

std::string CHalvec::FullPath(const CatalogGroupInfo& group, const std::string& name) const {
    return m_path + group.path + name;
}

bool CHalvec::GetGift(int group, int giftId, GiftItem& out) {
    HALVEC_TRY
    READ_LOCK;
    const CatalogGroupInfo* key = nullptr;
    const GiftItem* item = nullptr;
    Hit hit = Find(m_gifts, group, static_cast<uint32_t>(giftId), &key, &item);
    if (hit == kNone) return false;
    out = *item;
    out.fname = FullPath(*key, item->fname);
    out.smallfname = FullPath(*key, item->smallfname);
    if (hit == kNamedGroup) out.swffname = FullPath(*key, item->swffname);
    return true;
    HALVEC_CATCH(false)
}

bool CHalvec::GetGiftAndGroup(int giftId, GiftItem& out, CatalogGroupInfo& group) {
    HALVEC_TRY
    READ_LOCK;
    const CatalogGroupInfo* key = nullptr;
    const GiftItem* item = nullptr;
    if (Find(m_gifts, -1, static_cast<uint32_t>(giftId), &key, &item) == kNone) return false;
    out = *item;
    out.fname = FullPath(*key, item->fname);
    out.smallfname = FullPath(*key, item->smallfname);
    group = *key;
    return true;
    HALVEC_CATCH(false)
}

bool CHalvec::FindFace(int group, int faceId, CatalogItem& out) const {
    const FaceGroupInfo* key = nullptr;
    const CatalogItem* item = nullptr;
    if (Find(m_faces, group, static_cast<uint32_t>(faceId), &key, &item) == kNone) return false;
    out = *item;
    out.fname = FullPath(*key, item->fname);
    return true;
}

bool CHalvec::GetFace(int group, int faceId, CatalogItem& out) {
    HALVEC_TRY
    READ_LOCK;
    return FindFace(group, faceId, out);
    HALVEC_CATCH(false)
}

std::string CHalvec::GetFaceFileName(int faceId) {
    HALVEC_TRY
    READ_LOCK;  // once: FindFace takes no lock of its own
    CatalogItem item;
    return FindFace(-1, faceId, item) ? item.fname : std::string();
    HALVEC_CATCH(std::string())
}

bool CHalvec::GetEnterShow(int group, int id, CatalogItem& out) {
    HALVEC_TRY
    READ_LOCK;
    const CatalogGroupInfo* key = nullptr;
    const CatalogItem* item = nullptr;
    if (Find(m_enterShows, group, static_cast<uint32_t>(id), &key, &item) == kNone) return false;
    out = *item;
    out.fname = FullPath(*key, item->fname);
    return true;
    HALVEC_CATCH(false)
}

bool CHalvec::GetColorBar(int group, int id, CatalogItem& out) {
    HALVEC_TRY
    READ_LOCK;
    const CatalogGroupInfo* key = nullptr;
    const CatalogItem* item = nullptr;
    if (Find(m_colorBars, group, static_cast<uint32_t>(id), &key, &item) == kNone) return false;
    out = *item;
    out.fname = FullPath(*key, item->fname);
    return true;
    HALVEC_CATCH(false)
}

bool CHalvec::GetUserPhoto(int group, int id, UserPhotoItem& out) {
    HALVEC_TRY
    READ_LOCK;
    const CatalogGroupInfo* key = nullptr;
    const UserPhotoItem* item = nullptr;
    if (Find(m_userPhotos, group, static_cast<uint32_t>(id), &key, &item) == kNone) return false;
    out = *item;
    out.fname = FullPath(*key, item->fname);
    out.smallfname = FullPath(*key, item->smallfname);
    return true;
    HALVEC_CATCH(false)
}

void CHalvec::GetUserPhotoList(int group, std::vector<UserPhotoItem>& out) {
    HALVEC_TRY
    READ_LOCK;
    std::map<uint32_t, UserPhotoItem> byPri;  // a later item of the same pri replaces the earlier one
    auto take = [&](const CatalogGroupInfo& key, const UserPhotoCatalog::Items& items) {
        for (const auto& entry : items) {
            UserPhotoItem copy = entry.second;
            copy.fname = FullPath(key, entry.second.fname);
            copy.smallfname = FullPath(key, entry.second.smallfname);
            byPri[copy.pri] = std::move(copy);
        }
    };
    if (group < 0) {
        for (const auto& g : m_userPhotos.groups()) take(g.first, g.second);
    } else if (const auto* g = m_userPhotos.FindGroup(static_cast<uint32_t>(group) & 0xFFFFu)) {
        take(g->first, g->second);
    }
    for (auto& entry : byPri) out.push_back(std::move(entry.second));
    HALVEC_CATCH()
}

bool CHalvec::GetLevelGroup(unsigned levelId, CatalogGroupInfo& out) {
    HALVEC_TRY
    READ_LOCK;
    const LevelItem* item = nullptr;
    const CatalogGroupInfo* key = m_levels.FindInAll(levelId, &item);
    if (!key) return false;
    out = *key;
    return true;
    HALVEC_CATCH(false)
}

bool CHalvec::GetLevel(int levelId, LevelItem& out) {
    HALVEC_TRY
    READ_LOCK;
    const CatalogGroupInfo* key = CopyFromAll(m_levels, static_cast<uint32_t>(levelId), out);
    if (!key) return false;
    out.fname = FullPath(*key, out.fname);
    return true;
    HALVEC_CATCH(false)
}

bool CHalvec::GetTag(int /*group*/, int tagId, GiftItem& out) {
    HALVEC_TRY
    READ_LOCK;
    const CatalogGroupInfo* key = CopyFromAll(m_tags, static_cast<uint32_t>(tagId), out);
    if (!key) return false;
    out.fname = FullPath(*key, out.fname);
    out.smallfname = FullPath(*key, out.smallfname);
    return true;
    HALVEC_CATCH(false)
}

bool CHalvec::GetRole(int roleId, CatalogItem& out) {
    HALVEC_TRY
    READ_LOCK;
    const CatalogGroupInfo* key = CopyFromAll(m_roles, static_cast<uint32_t>(roleId), out);
    if (!key) return false;
    out.fname = FullPath(*key, out.fname);
    return true;
    HALVEC_CATCH(false)
}

bool CHalvec::GetIcon(int iconId, CatalogItem& out) {
    HALVEC_TRY
    READ_LOCK;
    const CatalogGroupInfo* key = CopyFromAll(m_icons, static_cast<uint32_t>(iconId), out);
    if (!key) return false;
    out.fname = FullPath(*key, out.fname);
    return true;
    HALVEC_CATCH(false)
}

void CHalvec::GetTagMap(TagCatalogCopy& out) {
    HALVEC_TRY
    READ_LOCK;
    CopyCatalog(m_tags, out);
    HALVEC_CATCH()
}

void CHalvec::GetGiftMap(GiftCatalogCopy& out) {
    HALVEC_TRY
    READ_LOCK;
    CopyCatalog(m_gifts, out);
    HALVEC_CATCH()
}

void CHalvec::GetFaceMap(FaceCatalogCopy& out) {
    HALVEC_TRY
    READ_LOCK;
    CopyCatalog(m_faces, out);
    HALVEC_CATCH()
}

void CHalvec::GetColorBarMap(ColorBarCatalogCopy& out) {
    HALVEC_TRY
    READ_LOCK;
    CopyCatalog(m_colorBars, out);
    HALVEC_CATCH()
}
