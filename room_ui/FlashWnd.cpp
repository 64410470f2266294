#include "FlashWnd.h"

#include <gtk/gtk.h>

#include "IDataHalvec.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqMusicCore.h"

namespace roomui {

namespace {
IDataHalvec* Halvec() {
    IDataManager* dm = AfxGetDataManager();
    return dm ? static_cast<IDataHalvec*>(dm->GetModule(HALVEC_MODULE_NAME)) : nullptr;
}

// The effect picture of a gift: its effect file when it is a picture, else its picture.
std::string GiftPicture(GiftItem item) {
    // A bare effect file name lies beside the gift's picture (whose path the catalogue gives in full).
    if (!item.swffname.empty() && item.swffname.find_first_of("\\/") == std::string::npos) {
        size_t dir = item.fname.find_last_of("\\/");
        if (dir != std::string::npos) item.swffname = item.fname.substr(0, dir + 1) + item.swffname;
    }
    for (const std::string* f : {&item.swffname, &item.fname}) {
        std::string lower;
        for (char c : *f) lower += (char)tolower((unsigned char)c);
        for (const char* ext : {".gif", ".png", ".jpg"})
            if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ext) == 0) return *f;
    }
    return item.fname;
}

// The effect picture of a gift (its effect file when it is a picture, else its picture) and its name.
flash::CEffectPlayer::GiftLook LookUpGift(uint32_t giftId) {
    IDataHalvec* h = Halvec();
    GiftItem item;
    if (!h || !h->GetGift(-1, (int)giftId, item)) return {};
    return {GiftPicture(item), item.name};
}

bool ReadBytes(const std::string& gbkPath, std::string& out) {
    gchar* data = nullptr;
    gsize size = 0;
    if (gbkPath.empty() || !g_file_get_contents(Dir::ToNativePath(gbkPath).c_str(), &data, &size, nullptr))
        return false;
    out.assign(data, size);
    g_free(data);
    return true;
}
}  // namespace

CFlashWnd::CFlashWnd(std::unique_ptr<flash::IEffectMovie> movie) : m_given(std::move(movie)) {
    m_userConf = Dir::GetZqPath(107) + "gift.conf";
    m_installConf = Dir::GetZqPath(100) + "res/gift.conf";
}

CFlashWnd::~CFlashWnd() {
    Destroy();
}

void CFlashWnd::SetGiftConfPaths(std::string userPath, std::string installPath) {
    m_userConf = std::move(userPath);
    m_installConf = std::move(installPath);
}

std::string CFlashWnd::ShowGiftXml(uint32_t giftId, const std::string& text, int count) {
    return "<invoke name=\"ShowGift\" returntype=\"xml\"><arguments><string>" + std::to_string((int)giftId) +
           "</string></arguments><arguments><string>" + flash::XmlEscape(text) +
           "</string></arguments><arguments><string>" + std::to_string(count) + "</string></arguments></invoke>";
}

std::string CFlashWnd::GetGiftXml(const std::string& catalogue) {
    return "<invoke name=\"GetGift\" returntype=\"xml\"><arguments><string>" + flash::XmlEscape(catalogue) +
           "</string></arguments></invoke>";
}

bool CFlashWnd::Create() {
    if (m_movie) return true;
    try {
        if (m_given) {
            m_movie = std::move(m_given);
        } else {
            auto player = std::make_unique<flash::CEffectPlayer>();
            if (!player->Create(m_moviePath, LookUpGift)) return false;
            m_movie = std::move(player);
        }
        m_movie->OnRequest = [this](const std::string& req) { FSCommand(req); };
        return true;
    } catch (...) {
        // The room runs without effects, as for a missing movie.
        m_movie.reset();
        return false;
    }
}

void CFlashWnd::Destroy() {
    ClearQueue();
    if (m_movie) {
        m_movie->OnRequest = nullptr;
        m_movie->Stop();
        m_movie->Show(false);
    }
    m_movie.reset();
    m_busy = m_shown = false;
}

bool CFlashWnd::Showable(const GiftEffect& e) {
    return e.giftId != 0 && e.count > 0 && !e.text.empty();
}

bool CFlashWnd::Play(GiftEffect* record) {
    std::unique_ptr<GiftEffect> rec(record);
    if (!rec) return false;
    if (!m_showEffects) return false;
    // What the movie cannot show never waits in the queue: nothing would end it.
    if (!Showable(*rec)) return false;
    if (m_busy) {
        varnet::MutexLock lock(m_queueLock);
        if (m_queue.size() >= kMaxQueue) return false;
        m_queue.push_back(std::move(rec));
        return true;
    }
    return ShowGift(rec->giftId, rec->count, rec->text);
}

bool CFlashWnd::ShowGift(uint32_t giftId, int count, const std::string& text) {
    if (!giftId || count <= 0 || text.empty() || !m_movie || !m_showEffects) return false;
    return m_movie->CallFunction(ShowGiftXml(giftId, text, count)) != "<false/>";
}

bool CFlashWnd::ShowNextQueued() {
    for (;;) {
        std::unique_ptr<GiftEffect> next;
        {
            varnet::MutexLock lock(m_queueLock);
            if (m_queue.empty()) return false;
            next = std::move(m_queue.front());
            m_queue.erase(m_queue.begin());
        }
        if (next && ShowGift(next->giftId, next->count, next->text)) return true;
    }
}

void CFlashWnd::Hide() {
    if (m_movie) m_movie->Show(false);
    m_shown = false;
}

void CFlashWnd::SendCatalogue() {
    PJ_Log("RoomManager.txt", 0, "CUISpecialEffect::FSCommand::GetGift", "送礼特效");
    std::string data;
    // Read as bytes: the whole file, whatever its line ends.
    if (!ReadBytes(g_file_test(Dir::ToNativePath(m_userConf).c_str(), G_FILE_TEST_EXISTS) ? m_userConf : m_installConf,
                   data))
        return;
    m_movie->CallFunction(GetGiftXml(data));
}

void CFlashWnd::FSCommand(const std::string& request) {
    if (!m_movie || request.empty()) return;
    if (request.find("Close") != std::string::npos) {
        // The next effect the movie takes; a refused one is skipped, and with none left the window idles.
        if (!ShowNextQueued()) {
            m_busy = false;
            Hide();
        }
    } else if (request.find("Init") != std::string::npos && request.find("GetGift") != std::string::npos) {
        SendCatalogue();
    } else if (request.find("ShowGift") != std::string::npos) {
        m_movie->Show(true);
        RaiseWithoutActivation();
        m_shown = true;
        m_busy = true;
    }
}

void CFlashWnd::CenterTopMost(int right, int bottom) {
    int x = right <= kWidth ? 0 : (right - kWidth) / 2;
    int y = bottom <= kHeight ? 0 : (bottom - kHeight) / 2;
    m_rc = RECT{x, y, x + kWidth, y + kHeight};
    if (m_movie) m_movie->Place(m_rc);
}

void CFlashWnd::CenterTopMost() {
    int right = 1280, bottom = 1024;
    if (GdkDisplay* d = gdk_display_get_default()) {
        GdkMonitor* m = gdk_display_get_primary_monitor(d);
        if (!m) m = gdk_display_get_monitor(d, 0);
        if (m) {
            GdkRectangle r;
            gdk_monitor_get_workarea(m, &r);
            right = r.x + r.width;
            bottom = r.y + r.height;
        }
    }
    CenterTopMost(right, bottom);
}

void CFlashWnd::RaiseWithoutActivation() {
    // Over the room window only: the program's dialogs, menus and message boxes, and any window the user
    // brought above the room, stay above the effect.
    m_movie->StackAbove(m_owner);
}

bool CFlashWnd::HideAndStop() {
    if (!m_movie) return false;
    Hide();
    m_movie->Stop();
    return true;
}

void CFlashWnd::ClearQueue() {
    varnet::MutexLock lock(m_queueLock);
    m_queue.clear();
}

void CFlashWnd::Shield(bool shield) {
    m_showEffects = !shield;
    if (shield) {
        Hide();
        ClearQueue();
        m_busy = false;
    }
}

size_t CFlashWnd::QueueSize() {
    varnet::MutexLock lock(m_queueLock);
    return m_queue.size();
}

}  // namespace roomui
