// The catalogue the chat-HTML fuzz targets run against: emoticons 0..99 exist as pictures of the program's
// folder, gift 1 has a small picture, every icon exists, and "bad" is a sensitive word.
#pragma once

#include <string>
#include <vector>

#include "IDataHalvec.h"
#include "ZqLib.h"

class FuzzHalvec : public IDataHalvec {
public:
    void Reload(int) override {}
    bool GetGift(int, int id, GiftItem& out) override {
        out.name = "gift";
        out.smallfname = Dir::GetZqPath(100) + "res\\gift\\1.gif";
        return id == 1;
    }
    bool GetGiftAndGroup(int, GiftItem&, CatalogGroupInfo&) override { return false; }
    bool IsGift21009(int) override { return false; }
    bool IsGift21012(int) override { return false; }
    bool GetFace(int, int, CatalogItem&) override { return false; }
    std::string GetFaceFileName(int id) override {
        return id >= 0 && id < 100 ? Dir::GetZqPath(100) + "res\\face\\" + std::to_string(id) + ".gif" : "";
    }
    bool GetEnterShow(int, int, CatalogItem&) override { return false; }
    void GetUserPhotoList(int, std::vector<UserPhotoItem>&) override {}
    bool GetLevelGroup(unsigned, CatalogGroupInfo&) override { return false; }
    bool GetColorBar(int, int, CatalogItem&) override { return false; }
    void FilterWords(const std::u16string& in, std::u16string& out) override {
        std::u16string text = in;
        for (size_t at = text.find(u"bad"); at != std::u16string::npos; at = text.find(u"bad", at))
            text.replace(at, 3, u"***");
        out += text;
    }
    bool GetTag(int, int, GiftItem&) override { return false; }
    void GetTagMap(TagCatalogCopy&) override {}
    bool GetLevel(int, LevelItem&) override { return false; }
    bool GetRole(int, CatalogItem&) override { return false; }
    bool GetUserPhoto(int, int, UserPhotoItem&) override { return false; }
    bool GetIcon(int id, CatalogItem& out) override {
        out.fname = Dir::GetZqPath(100) + "res\\icon\\" + std::to_string(id) + ".png";
        return true;
    }
    bool HasRight(int, int, int) override { return false; }
    bool HasRight2(int, int, int) override { return false; }
    bool HasRightPair(int, int, int) override { return false; }
    bool HasRightPair2(int, int, int) override { return false; }
    void GetGiftMap(GiftCatalogCopy&) override {}
    void GetFaceMap(FaceCatalogCopy&) override {}
    void GetCityList(std::vector<CityInfo*>&) override {}
    void GetColorBarMap(ColorBarCatalogCopy&) override {}
};
