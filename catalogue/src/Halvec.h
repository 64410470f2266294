// CHalvec: the catalogue plug-in's one module. It reads every catalogue from the "res" folder of the install
// folder and answers lookups.
//
// Locking: m_lock (shared reader / exclusive writer) guards every catalogue, m_wordFilter's index, m_city and
// m_rights. Each public operation takes it once, for its whole run, and calls only the unlocked helpers
// below: a nested read would deadlock against a waiting Reload. LoadAll runs before the module is registered.
#pragma once

#include <string>

#include "Catalog.h"
#include "CityDataModel.h"
#include "IDataHalvec.h"
#include "Lock.h"
#include "OpRightsManager.h"
#include "WordFilterConfig.h"
#include "ThreadAnnotations.h"

class CHalvec final : public IDataHalvec {
public:
    CHalvec() = default;
    ~CHalvec() override;

    // Sets m_path (the folder holding "res", ending with a separator) and loads every catalogue.
    void Attach(const std::string& path);
    // Empties every catalogue (under the lock: a caller may still be inside a lookup).
    void ClearAll();
    WordFilterConfig& WordFilter() { return m_wordFilter; }

    // The whole text of a file, cut at its first NUL; "" when missing, empty, unreadable or too large.
    static std::string ReadConfFile(const std::string& path);
    // m_path + "res\\" + name.
    std::string ConfPath(const char* name) const;

    void Reload(int mask) override;
    bool GetGift(int group, int giftId, GiftItem& out) override;
    bool GetGiftAndGroup(int giftId, GiftItem& out, CatalogGroupInfo& group) override;
    bool IsGift21009(int giftId) override { return giftId == 21009; }
    bool IsGift21012(int giftId) override { return giftId == 21012; }
    bool GetFace(int group, int faceId, CatalogItem& out) override;
    std::string GetFaceFileName(int faceId) override;
    bool GetEnterShow(int group, int id, CatalogItem& out) override;
    void GetUserPhotoList(int group, std::vector<UserPhotoItem>& out) override;
    bool GetLevelGroup(unsigned levelId, CatalogGroupInfo& out) override;
    bool GetColorBar(int group, int id, CatalogItem& out) override;
    void FilterWords(const std::u16string& in, std::u16string& out) override;
    bool GetTag(int group, int tagId, GiftItem& out) override;
    void GetTagMap(TagCatalogCopy& out) override;
    bool GetLevel(int levelId, LevelItem& out) override;
    bool GetRole(int roleId, CatalogItem& out) override;
    bool GetUserPhoto(int group, int id, UserPhotoItem& out) override;
    bool GetIcon(int iconId, CatalogItem& out) override;
    bool HasRight(int a, int b, int c) override { return HasRightLocked(a, b, c); }
    bool HasRight2(int a, int b, int c) override { return HasRightLocked(a, b, c); }
    bool HasRightPair(int a, int b, int c) override { return HasRightLocked(a, b, c); }
    bool HasRightPair2(int a, int b, int c) override { return HasRightLocked(a, b, c); }
    void GetGiftMap(GiftCatalogCopy& out) override;
    void GetFaceMap(FaceCatalogCopy& out) override;
    void GetCityList(std::vector<CityInfo*>& out) override;
    void GetColorBarMap(ColorBarCatalogCopy& out) override;

private:
    // Unlocked helpers: callers hold m_lock.
    void LoadAll() REQUIRES(m_lock);
    void LoadMask(int mask) REQUIRES(m_lock);
    void ClearUnlocked() REQUIRES(m_lock);
    std::string FullPath(const CatalogGroupInfo& group, const std::string& name) const;
    bool FindFace(int group, int faceId, CatalogItem& out) const REQUIRES(m_lock);
    // Takes m_lock for reading.
    bool HasRightLocked(int a, int b, int c);

    CReadWriteLock m_lock;
    GiftCatalog m_gifts GUARDED_BY(m_lock);
    FaceCatalog m_faces GUARDED_BY(m_lock);
    UserPhotoCatalog m_userPhotos GUARDED_BY(m_lock);
    LevelCatalog m_levels GUARDED_BY(m_lock);
    ItemCatalog m_roles GUARDED_BY(m_lock);
    ItemCatalog m_icons GUARDED_BY(m_lock);
    ItemCatalog m_enterShows GUARDED_BY(m_lock);
    GiftCatalog m_tags GUARDED_BY(m_lock);
    std::string m_path;
    WordFilterConfig m_wordFilter;
    CZQCityDataModel m_city GUARDED_BY(m_lock);
    COpRightsManager m_rights GUARDED_BY(m_lock);
    ItemCatalog m_colorBars GUARDED_BY(m_lock);
};
