#include "CatalogTestUtil.h"

#include "ZqLib.h"

std::string Gbk(const char8_t* utf8) {
    return Charset::Utf8ToGbk(reinterpret_cast<const char*>(utf8));
}
