// The province and city list of city.conf. Not locked: the plug-in's catalogue lock guards it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CatalogRecords.h"

class CZQCityDataModel {
public:
    virtual ~CZQCityDataModel() = default;

    // Clear, then read the file (a GBK system path); a log line when it cannot be read.
    bool Init(const std::string& path);
    // Adds the records of a UTF-8 text: white-space separated tokens, one record each.
    void LoadFromText(const std::string& utf8);
    // Adds one record from a GBK token: the province between quotes 1 and 2, the comma-separated cities between
    // quotes 3 and 4 (empty pieces dropped); without a city list the province is its own only city.
    void ParseLine(const std::string& token);
    void Clear() { m_cities.clear(); }
    // Appends a new copy of every record; the caller owns them.
    void GetCityList(std::vector<CityInfo*>& out) const;
    size_t Count() const { return m_cities.size(); }

private:
    std::vector<std::unique_ptr<CityInfo>> m_cities;
};
