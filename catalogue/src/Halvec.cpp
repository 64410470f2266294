#include "Halvec.h"

#include "CatalogParser.h"
#include "HalvecGuard.h"
#include "ZqLib.h"
#include "ZqLog.h"

namespace {

const char kLog[] = "Halvec.txt";
const size_t kMaxConfFile = kCatalogueMaxFileBytes;  // the largest real catalogue is far below this

// LoadAll reads the catalogues in the first order; Reload tests the mask's bits in the second.
const int kLoadAllOrder[] = {RES_GIFT, RES_FACE,      RES_USERPHOTO, RES_TAG,   RES_LEVEL,      RES_ROLE,
                             RES_ICON, RES_ENTERSHOW, RES_COLORBAR,  RES_POWER, RES_WORDFILTER, RES_CITY};
const int kReloadOrder[] = {RES_FACE,      RES_GIFT,      RES_ICON,     RES_TAG,   RES_LEVEL,      RES_ROLE,
                            RES_USERPHOTO, RES_ENTERSHOW, RES_COLORBAR, RES_POWER, RES_WORDFILTER, RES_CITY};

const char* FileOf(int bit) {
    switch (bit) {
    case RES_FACE:
        return "face.conf";
    case RES_GIFT:
        return "gift.conf";
    case RES_ICON:
        return "icon.conf";
    case RES_TAG:
        return "tag.conf";
    case RES_LEVEL:
        return "level.conf";
    case RES_ROLE:
        return "role.conf";
    case RES_USERPHOTO:
        return "userphoto.conf";
    case RES_ENTERSHOW:
        return "entershow.conf";
    case RES_POWER:
        return "power.conf";
    case RES_WORDFILTER:
        return "wordfilter.conf";
    case RES_CITY:
        return "city.conf";
    case RES_COLORBAR:
        return "colorbar.conf";
    default:
        return "";
    }
}

// Empties a JSON catalogue and parses its file again when the file has any text.
template <class Cat>
void Reread(Cat& cat, bool (*parse)(const std::string&, Cat&), const std::string& path) {
    cat.Clear();
    std::string text = CHalvec::ReadConfFile(path);
    if (!text.empty() && !parse(text, cat))
        PJ_Log(kLog, LOG_FAILURE, "CHalvec::LoadCatalogue", "not JSON: %s", path.c_str());
}

}  // namespace

CHalvec::~CHalvec() = default;

std::string CHalvec::ReadConfFile(const std::string& path) {
    int64_t size = Dir::GetFileSize(path);
    std::string text;
    if (size < 0) {
        PJ_Log(kLog, LOG_FAILURE, "CHalvec::ReadConfFile", "missing %s", path.c_str());
        return text;
    }
    if (size == 0 || size > static_cast<int64_t>(kMaxConfFile)) {
        PJ_Log(kLog, LOG_FAILURE, "CHalvec::ReadConfFile", "refused %s (size %lld)", path.c_str(),
               static_cast<long long>(size));
        return text;
    }
    if (!Dir::ReadFile(path, text, kMaxConfFile) || text.size() < static_cast<size_t>(size)) {
        PJ_Log(kLog, LOG_FAILURE, "CHalvec::ReadConfFile", "short read of %s", path.c_str());
        return std::string();
    }
    size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return text;
}

std::string CHalvec::ConfPath(const char* name) const {
    return StringUtility::Format("%sres\\%s", m_path.c_str(), name);
}

void CHalvec::Attach(const std::string& path) {
    m_path = path;
    if (!m_path.empty() && m_path.back() != '/' && m_path.back() != '\\') m_path += '/';
    CLockObject lock(&m_lock, CReadWriteLock::LOCK_WRITE);  // not registered yet: only for the memory order
    LoadAll();
}

void CHalvec::LoadAll() {
    for (int bit : kLoadAllOrder) LoadMask(bit);
}

// Empties and reads again one catalogue (`mask` holds one bit).
void CHalvec::LoadMask(int mask) {
    const std::string path = ConfPath(FileOf(mask));
    if (mask == RES_POWER) {
        m_rights.Load(path);
        return;
    }
    if (mask == RES_WORDFILTER) {
        m_wordFilter.Clear();
        m_wordFilter.StartLoad(path);
        return;
    }
    if (mask == RES_CITY) {
        m_city.Init(path);
        return;
    }
    switch (mask) {
    case RES_GIFT:
        Reread(m_gifts, LoadGiftList, path);
        break;
    case RES_FACE:
        Reread(m_faces, LoadFaceList, path);
        break;
    case RES_USERPHOTO:
        Reread(m_userPhotos, LoadUserPhotoList, path);
        break;
    case RES_TAG:
        Reread(m_tags, LoadTagList, path);
        break;
    case RES_LEVEL:
        Reread(m_levels, LoadLevelList, path);
        break;
    case RES_ROLE:
        Reread(m_roles, LoadRoleList, path);
        break;
    case RES_ICON:
        Reread(m_icons, LoadIconList, path);
        break;
    case RES_ENTERSHOW:
        Reread(m_enterShows, LoadEnterShowList, path);
        break;
    case RES_COLORBAR:
        Reread(m_colorBars, LoadColorBarList, path);
        break;
    default:
        break;
    }
}

void CHalvec::Reload(int mask) {
    HALVEC_TRY
    CLockObject lock(&m_lock, CReadWriteLock::LOCK_WRITE);
    for (int bit : kReloadOrder)
        if (mask & bit) LoadMask(bit);
    HALVEC_CATCH()
}

void CHalvec::ClearAll() {
    HALVEC_TRY
    CLockObject lock(&m_lock, CReadWriteLock::LOCK_WRITE);
    ClearUnlocked();
    HALVEC_CATCH()
}

void CHalvec::ClearUnlocked() {
    m_gifts.Clear();
    m_faces.Clear();
    m_userPhotos.Clear();
    m_levels.Clear();
    m_roles.Clear();
    m_icons.Clear();
    m_enterShows.Clear();
    m_tags.Clear();
    m_colorBars.Clear();
    m_wordFilter.Clear();
    m_city.Clear();
    m_rights.Clear();
}

void CHalvec::FilterWords(const std::u16string& in, std::u16string& out) {
    HALVEC_TRY
    CLockObject lock(&m_lock, CReadWriteLock::LOCK_READ);
    m_wordFilter.Filter(out, in);
    HALVEC_CATCH()
}

bool CHalvec::HasRightLocked(int a, int b, int c) {
    HALVEC_TRY
    CLockObject lock(&m_lock, CReadWriteLock::LOCK_READ);
    return m_rights.HasRight(a, b, c);
    HALVEC_CATCH(false)
}

void CHalvec::GetCityList(std::vector<CityInfo*>& out) {
    HALVEC_TRY
    CLockObject lock(&m_lock, CReadWriteLock::LOCK_READ);
    m_city.GetCityList(out);
    HALVEC_CATCH()
}
