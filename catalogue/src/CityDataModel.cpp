#include "CityDataModel.h"

#include "ZqLib.h"
#include "ZqLog.h"

namespace {

const size_t kMaxCityFile = kCatalogueMaxFileBytes;
const size_t kMaxToken = 2047;  // the longest record the format allows; longer ones are read whole

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

bool CZQCityDataModel::Init(const std::string& path) {
    Clear();
    std::string text;
    int64_t size = Dir::GetFileSize(path);  // checked first: a special file of size 0 is never opened
    if (size == 0) return true;
    if (size < 0 || !Dir::ReadFile(path, text, kMaxCityFile)) {
        PJ_Log("Halvec.txt", LOG_FAILURE, "CZQCityDataModel::Init", "读取城市信息失败");
        return false;
    }
    LoadFromText(text);
    return true;
}

void CZQCityDataModel::LoadFromText(const std::string& utf8) {
    // Tokens of any length: a long one is parsed whole, never written into a fixed buffer.
    size_t pos = 0;
    const size_t n = utf8.size();
    unsigned longTokens = 0;
    while (pos < n) {
        while (pos < n && IsSpace(utf8[pos])) ++pos;
        size_t start = pos;
        while (pos < n && !IsSpace(utf8[pos])) ++pos;
        if (pos - start > kMaxToken) ++longTokens;
        if (pos > start) ParseLine(Charset::Utf8ToGbk(utf8.substr(start, pos - start)));
    }
    if (longTokens)
        PJ_Log("Halvec.txt", LOG_FAILURE, "CZQCityDataModel::Init", "records longer than %u bytes: %u",
               static_cast<unsigned>(kMaxToken), longTokens);
}

void CZQCityDataModel::ParseLine(const std::string& token) {
    size_t q[4];
    size_t found = 0;
    for (size_t i = 0; i < token.size() && found < 4; ++i)
        if (token[i] == '"') q[found++] = i;
    if (found < 2 || q[1] == q[0] + 1) return;
    auto city = std::make_unique<CityInfo>();
    city->province = token.substr(q[0] + 1, q[1] - q[0] - 1);
    if (found == 4) {
        std::string list = token.substr(q[2] + 1, q[3] - q[2] - 1);
        size_t start = 0;
        while (start <= list.size()) {
            size_t comma = list.find(',', start);
            if (comma == std::string::npos) comma = list.size();
            if (comma > start) city->cities.push_back(list.substr(start, comma - start));
            start = comma + 1;
        }
    } else {
        city->cities.push_back(city->province);
    }
    m_cities.push_back(std::move(city));
}

void CZQCityDataModel::GetCityList(std::vector<CityInfo*>& out) const {
    out.reserve(out.size() + m_cities.size());
    for (const auto& city : m_cities) out.push_back(new CityInfo(*city));
}
