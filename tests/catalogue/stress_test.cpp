// Lookups on eight threads against a reload loop: no deadlock, and never a half-loaded catalogue.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "CatalogTestUtil.h"
#include "Halvec.h"

namespace {

// Two versions of gift.conf: every gift of a version has the same price.
std::string Gifts(uint32_t price) {
    std::string list;
    for (int id = 1; id <= 200; ++id)
        list += (id > 1 ? "," : "") + std::string("{\"id\":") + std::to_string(id) +
                ",\"pri\":1,\"price\":" + std::to_string(price) + "}";
    return "{\"giftlist\":[{\"idx\":1,\"name\":\"\",\"path\":\"g\\\\\",\"list\":[" + list +
           "]},{\"idx\":2,\"name\":\"\",\"path\":\"g\\\\\",\"list\":[" + list + "]}]}";
}

TEST(Stress, LookupsAgainstReloads) {
    TempFolder folder;
    folder.CopySampleSet();
    folder.Write("gift.conf", Gifts(10));
    CHalvec halvec;
    halvec.WordFilter().SetYieldBytes(0);
    halvec.Attach(folder.Path());

    std::atomic<bool> run{true};
    std::atomic<int> failures{0};
    std::atomic<long> lookups{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 8; ++t) {
        readers.emplace_back([&, t] {
            while (run.load()) {
                GiftCatalogCopy copy;
                halvec.GetGiftMap(copy);
                size_t items = 0;
                uint32_t price = 0;
                for (auto& g : copy)
                    for (auto& item : g.second) {
                        if (price == 0) price = item.second->price;
                        if (item.second->price != price) ++failures;  // a mix of two versions
                        ++items;
                    }
                if (items != 400) ++failures;  // a half-loaded or empty catalogue
                FreeCatalogCopy(copy);
                GiftItem gift;
                if (!halvec.GetGift(t % 3, 1 + t, gift)) ++failures;
                if (halvec.GetFaceFileName(1 + t).empty())  // one lock, however nested the lookup
                    ++failures;
                LevelItem level;
                if (!halvec.GetLevel(100, level)) ++failures;
                if (!halvec.HasRight(2, 1300, -1)) ++failures;
                std::u16string out;
                halvec.FilterWords(u"shit!", out);
                if (out != u"shit!" && out != u"****!") ++failures;
                std::vector<CityInfo*> cities;
                halvec.GetCityList(cities);
                if (cities.empty()) ++failures;
                FreeCityList(cities);
                ++lookups;
            }
        });
    }
    for (int i = 0; i < 60; ++i) {
        folder.Write("gift.conf", Gifts(i % 2 ? 20 : 10));
        halvec.Reload(0xFFF);
    }
    run.store(false);
    for (auto& r : readers) r.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_GT(lookups.load(), 0);
}

// A caller that fetched the module just before it was unregistered may still be inside a lookup while the
// plug-in empties itself: the lookups see the catalogues whole or empty.
TEST(Stress, ClearAllWhileLookupsRun) {
    for (int round = 0; round < 20; ++round) {
        TempFolder folder;
        folder.CopySampleSet();
        folder.Write("gift.conf", Gifts(10));
        CHalvec halvec;
        halvec.WordFilter().SetYieldBytes(0);
        halvec.Attach(folder.Path());
        std::atomic<int> failures{0};
        std::atomic<int> started{0};
        std::vector<std::thread> readers;
        for (int t = 0; t < 4; ++t) {
            readers.emplace_back([&] {
                ++started;
                for (int i = 0; i < 50; ++i) {
                    GiftCatalogCopy copy;
                    halvec.GetGiftMap(copy);
                    size_t items = 0;
                    for (auto& g : copy) items += g.second.size();
                    if (items != 0 && items != 400) ++failures;
                    FreeCatalogCopy(copy);
                    std::vector<UserPhotoItem> photos;
                    halvec.GetUserPhotoList(-1, photos);
                    std::vector<CityInfo*> cities;
                    halvec.GetCityList(cities);
                    FreeCityList(cities);
                    std::u16string out;
                    halvec.FilterWords(u"shit", out);
                }
            });
        }
        while (started.load() < 4) std::this_thread::yield();
        halvec.ClearAll();
        for (auto& r : readers) r.join();
        EXPECT_EQ(failures.load(), 0);
        GiftItem gift;
        EXPECT_FALSE(halvec.GetGift(-1, 1, gift));
    }
}

}  // namespace
