// A catalogue plug-in that knows nothing: every lookup fails, lists stay empty, the word filter appends its
// input unchanged. Tests and benchmarks derive from it and answer only what they need.
#pragma once

#include <string>
#include <vector>

#include "IDataHalvec.h"

namespace testsupport {

class NullHalvec : public IDataHalvec {
public:
    void Reload(int) override {}
    bool GetGift(int, int, GiftItem&) override { return false; }
    bool GetGiftAndGroup(int, GiftItem&, CatalogGroupInfo&) override { return false; }
    bool IsGift21009(int) override { return false; }
    bool IsGift21012(int) override { return false; }
    bool GetFace(int, int, CatalogItem&) override { return false; }
    std::string GetFaceFileName(int) override { return ""; }
    bool GetEnterShow(int, int, CatalogItem&) override { return false; }
    void GetUserPhotoList(int, std::vector<UserPhotoItem>&) override {}
    bool GetLevelGroup(unsigned, CatalogGroupInfo&) override { return false; }
    bool GetColorBar(int, int, CatalogItem&) override { return false; }
    void FilterWords(const std::u16string& in, std::u16string& out) override { out += in; }
    bool GetTag(int, int, GiftItem&) override { return false; }
    void GetTagMap(TagCatalogCopy&) override {}
    bool GetLevel(int, LevelItem&) override { return false; }
    bool GetRole(int, CatalogItem&) override { return false; }
    bool GetUserPhoto(int, int, UserPhotoItem&) override { return false; }
    bool GetIcon(int, CatalogItem&) override { return false; }
    bool HasRight(int, int, int) override { return false; }
    bool HasRight2(int, int, int) override { return false; }
    bool HasRightPair(int, int, int) override { return false; }
    bool HasRightPair2(int, int, int) override { return false; }
    void GetGiftMap(GiftCatalogCopy&) override {}
    void GetFaceMap(FaceCatalogCopy&) override {}
    void GetCityList(std::vector<CityInfo*>&) override {}
    void GetColorBarMap(ColorBarCatalogCopy&) override {}
};

}  // namespace testsupport
