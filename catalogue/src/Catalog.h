// One catalogue: group key -> (item id -> item). Groups are ordered by idx; items by id.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "CatalogRecords.h"

template <class Key, class Item>
class Catalog {
public:
    using Items = std::map<uint32_t, Item>;
    using Groups = std::map<Key, Items>;

    const Groups& groups() const { return m_groups; }
    bool empty() const { return m_groups.empty(); }
    void Clear() { m_groups.clear(); }

    // A new idx adds the group; an idx already held keeps that group's key fields and takes the new items.
    void PutGroup(const Key& key, Items&& items) {
        auto it = m_groups.find(key);
        if (it == m_groups.end()) m_groups.emplace(key, std::move(items));
        else it->second = std::move(items);
    }

    // The group whose idx equals `idx`, or null.
    const std::pair<const Key, Items>* FindGroup(uint32_t idx) const {
        Key probe;
        probe.idx = idx;
        auto it = m_groups.find(probe);
        return it == m_groups.end() ? nullptr : &*it;
    }

    // The first group in ascending idx that holds `id`; fills `item` and returns its key, or null.
    const Key* FindInAll(uint32_t id, const Item** item) const {
        for (const auto& group : m_groups) {
            auto hit = group.second.find(id);
            if (hit != group.second.end()) {
                *item = &hit->second;
                return &group.first;
            }
        }
        return nullptr;
    }

private:
    Groups m_groups;
};

using GiftCatalog = Catalog<CatalogGroupInfo, GiftItem>;
using FaceCatalog = Catalog<FaceGroupInfo, CatalogItem>;
using UserPhotoCatalog = Catalog<CatalogGroupInfo, UserPhotoItem>;
using LevelCatalog = Catalog<CatalogGroupInfo, LevelItem>;
using ItemCatalog = Catalog<CatalogGroupInfo, CatalogItem>;  // role, icon, enter show, colour bar
