// The twelve catalogue updaters: type bit, type name, conf name and, for catalogues with pictures, the
// list key, the picture folder and the file keys of an item.
#pragma once

#include "ResUpdate.h"

#define VARNET_RES_IMAGE_TYPE(Cls, bit, name, conf, list, folder, ...)               \
    class Cls final : public CResUpdateHaveImage {                                   \
    public:                                                                          \
        using CResUpdateHaveImage::CResUpdateHaveImage;                              \
        int TypeBit() const override { return bit; }                                 \
        const char* TypeName() const override { return name; }                       \
        const char* ConfName() const override { return conf; }                       \
        const char* ListKey() const override { return list; }                        \
        const char* ImageFolder() const override { return folder; }                  \
        std::vector<const char*> FileKeys() const override { return {__VA_ARGS__}; } \
    };

#define VARNET_RES_TEXT_TYPE(Cls, bit, name, conf)             \
    class Cls final : public CResUpdateNotHaveImage {          \
    public:                                                    \
        using CResUpdateNotHaveImage::CResUpdateNotHaveImage;  \
        int TypeBit() const override { return bit; }           \
        const char* TypeName() const override { return name; } \
        const char* ConfName() const override { return conf; } \
    };

VARNET_RES_IMAGE_TYPE(CResUpdateFace, 0x1, "face", "face.conf", "facelist", "face/", "fname")
VARNET_RES_IMAGE_TYPE(CResUpdateGift, 0x2, "gift", "gift.conf", "giftlist", "gift/", "fname", "smallfname", "swffname")
VARNET_RES_IMAGE_TYPE(CResUpdateIcon, 0x4, "icon", "icon.conf", "iconlist", "icon/", "fname")
VARNET_RES_IMAGE_TYPE(CResUpdateLevel, 0x10, "level", "level.conf", "levellist", "level/", "fname")
VARNET_RES_IMAGE_TYPE(CResUpdateRole, 0x20, "role", "role.conf", "rolelist", "role/", "fname")
VARNET_RES_IMAGE_TYPE(CResUpdateUserPhoto, 0x40, "userphoto", "userphoto.conf", "userphotolist", "userphoto/", "fname",
                      "smallfname")
VARNET_RES_IMAGE_TYPE(CResUpdateEnterShow, 0x80, "entershow", "entershow.conf", "entershowlist", "entershow/", "fname")
VARNET_RES_TEXT_TYPE(CResUpdatePower, 0x100, "power", "power.conf")
VARNET_RES_TEXT_TYPE(CResUpdateWordFilter, 0x200, "wordfilter", "wordfilter.conf")
VARNET_RES_TEXT_TYPE(CResUpdateCity, 0x400, "city", "city.conf")
VARNET_RES_IMAGE_TYPE(CResUpdateTag, 0x8, "tag", "tag.conf", "taglist", "tag/", "fname", "smallfname")
VARNET_RES_IMAGE_TYPE(CResUpdateColorBar, 0x800, "colorbar", "colorbar.conf", "colorbarlist", "colorbar/", "fname")

#undef VARNET_RES_IMAGE_TYPE
#undef VARNET_RES_TEXT_TYPE
