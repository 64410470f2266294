// The catalogue plug-in's interface, reached through the data manager:
//     auto* halvec = static_cast<IDataHalvec*>(AfxGetDataManager()->GetModule(HALVEC_MODULE_NAME));
// ("modHalvec" is always an IDataHalvec; the plug-in's type information is private, so no dynamic_cast).
// Look it up before each use; it is null while the
// plug-in is not loaded. Every operation is thread-safe and copies what it returns; out-records are filled
// only when the result is true. Group numbers are group idx values (cut to 16 bits); a negative group means
// every group. File names come back as full paths (install folder + group path + name) where noted.
#pragma once

#include <string>
#include <vector>

#include "CatalogRecords.h"
#include "ZqMusicCore.h"

#define HALVEC_MODULE_NAME "modHalvec"

class IDataHalvec : public IData {
public:
    // Empties the catalogues named by the mask (RESOURCE_TYPE_MASK bits) and reads their files again.
    virtual void Reload(int mask) = 0;

    // The named group first, then every group. fname and smallfname full; swffname full only for a hit in
    // the named group.
    virtual bool GetGift(int group, int giftId, GiftItem& out) = 0;
    // Every group; swffname relative. `group` receives the group's idx, name and path.
    virtual bool GetGiftAndGroup(int giftId, GiftItem& out, CatalogGroupInfo& group) = 0;
    virtual bool IsGift21009(int giftId) = 0;
    virtual bool IsGift21012(int giftId) = 0;  // the cheque gift
    virtual bool GetFace(int group, int faceId, CatalogItem& out) = 0;
    // The full picture path of an emoticon; "" when no group holds it.
    virtual std::string GetFaceFileName(int faceId) = 0;
    virtual bool GetEnterShow(int group, int id, CatalogItem& out) = 0;
    // Appends the user photos of the group (every group when negative; no fallback) in ascending pri, one per
    // distinct pri (the later one wins).
    virtual void GetUserPhotoList(int group, std::vector<UserPhotoItem>& out) = 0;
    virtual bool GetLevelGroup(unsigned levelId, CatalogGroupInfo& out) = 0;
    virtual bool GetColorBar(int group, int id, CatalogItem& out) = 0;
    // Replaces every listed word (case folded) by as many '*' as it has UTF-16 units. Until the word list has
    // loaded, `out` becomes a copy of `in`; afterwards the filtered text is appended to `out`.
    virtual void FilterWords(const std::u16string& in, std::u16string& out) = 0;
    virtual bool GetTag(int group /* ignored */, int tagId, GiftItem& out) = 0;
    // Whole-catalogue copies with relative file names; the records are the caller's (FreeCatalogCopy). A group
    // already in `out` keeps its key and gets the new records (its old ones are deleted).
    virtual void GetTagMap(TagCatalogCopy& out) = 0;
    virtual bool GetLevel(int levelId, LevelItem& out) = 0;
    virtual bool GetRole(int roleId, CatalogItem& out) = 0;
    virtual bool GetUserPhoto(int group, int id, UserPhotoItem& out) = 0;
    virtual bool GetIcon(int iconId, CatalogItem& out) = 0;
    // Rights: true when power.conf lists the triple. The first two are asked with (right, level or role, -1),
    // the last two with (code, x, y); all four answer alike.
    virtual bool HasRight(int a, int b, int c) = 0;
    virtual bool HasRight2(int a, int b, int c) = 0;
    virtual bool HasRightPair(int a, int b, int c) = 0;
    virtual bool HasRightPair2(int a, int b, int c) = 0;
    virtual void GetGiftMap(GiftCatalogCopy& out) = 0;
    virtual void GetFaceMap(FaceCatalogCopy& out) = 0;
    // Appends a new copy of every province record, in file order; the caller owns them (FreeCityList).
    virtual void GetCityList(std::vector<CityInfo*>& out) = 0;
    virtual void GetColorBarMap(ColorBarCatalogCopy& out) = 0;
};
