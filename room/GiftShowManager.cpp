#include "GiftShowManager.h"

#include <algorithm>
#include <ctime>
#include <limits>

#include "ChatHtml.h"
#include "RoomCatalogue.h"
#include "RoomUI.h"
#include "Win32Sync.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqModConfig.h"

namespace {
const char* kLog = "RoomLogic.txt";

int GiftRate() {
    int rate = 15;
    if (IConfigManager* cfg = AfxGetConfigManager())
        cfg->GetInt("RoomLogicSection", "GiftShowCountPerSecond", rate, 15);
    return rate;
}
}  // namespace

CGiftShowManager::CGiftShowManager() : random_(std::random_device{}()) {
    GiftRate();  // read and not used: the interval stays 66 ms
}

CGiftShowManager::~CGiftShowManager() = default;

void CGiftShowManager::SetTickSource(std::function<uint32_t()> tick) {
    tick_ = std::move(tick);
}

void CGiftShowManager::SeedRandom(uint32_t seed) {
    varnet::MutexLock hold(pacedLock_);
    random_.seed(seed);
}

uint32_t CGiftShowManager::Tick() const {
    return tick_ ? tick_() : GetTickCount();
}

GiftItem CGiftShowManager::LookUpGift(uint32_t giftId, const char* where) {
    GiftItem gift;
    if (RoomGetGift(giftId, gift)) return gift;
    PJ_Log(kLog, LOG_FAILURE, where, "获取礼物信息失败（GiftID=%d）", int(giftId));
    return GiftItem();
}

std::unique_ptr<GiftShowItem> CGiftShowManager::MakeItem(const RoomUserInfo& sender, uint32_t count, uint32_t counted,
                                                         const std::string& text) {
    auto item = std::make_unique<GiftShowItem>();
    item->sender = sender;
    item->total = count;
    item->counted = counted;
    item->text = text;
    return item;
}

uint32_t CGiftShowManager::CapUnits(uint32_t count, uint32_t shown) {
    // A huge count plays its last units only (the numbering still ends at the count).
    return count - shown > kMaxPacedUnits ? count - kMaxPacedUnits : shown;
}

bool CGiftShowManager::RoomForItemLocked() {
    if (pacedItems_ < kMaxPacedItems) return true;
    if (!pacedDropLogged_) PJ_Log(kLog, LOG_FAILURE, "CGiftShowManager", "待显示的礼物过多，丢弃");
    pacedDropLogged_ = true;
    return false;
}

void CGiftShowManager::InserGiftShow(const RoomUserInfo& sender, const RoomUserInfo& receiver, uint32_t giftId,
                                     uint32_t count, uint32_t start, const std::string& text) {
    const GiftItem gift = LookUpGift(giftId, "CGiftShowManager::InserGiftShow");
    const uint32_t skipped = CapUnits(count, 0);
    auto item = MakeItem(sender, count, skipped, text);

    varnet::MutexLock hold(pacedLock_);
    if (!RoomForItemLocked()) return;
    GiftShowGroup& group = GroupLocked(receiver, giftId, gift, start, 0);
    group.shown += skipped;
    group.senders.push_back(std::move(item));
    ++pacedItems_;
}

GiftShowGroup& CGiftShowManager::GroupLocked(const RoomUserInfo& receiver, uint32_t giftId, const GiftItem& gift,
                                             uint32_t start, uint32_t shown) {
    auto [it, inserted] = paced_.try_emplace(receiver.uid);
    if (inserted) it->second.user = receiver;
    auto& group = it->second.gifts[giftId];
    if (!group) {
        group = std::make_unique<GiftShowGroup>();
        group->gift = gift;
        group->shown = shown;
        group->start = start;
    }
    return *group;
}

uint32_t CGiftShowManager::ShownBefore(uint32_t count, int64_t seconds) {
    // D = rate x seconds against N, unsigned: a negative D (a time in the past) is larger than any N, so
    // nothing counts as played. 64-bit, so that no huge span wraps into a small D.
    const int64_t span = std::clamp<int64_t>(seconds, -(int64_t(1) << 32), int64_t(1) << 32);
    const int64_t played = int64_t(GiftRate()) * span;
    return CapUnits(count, played < 0 || played > int64_t(count) ? 0 : count - uint32_t(played));
}

void CGiftShowManager::InitInsertGiftShow(const RoomUserInfo& receiver, const RoomUserInfo& sender, uint32_t giftId,
                                          uint32_t count, uint32_t start, int64_t seconds, const std::string& text) {
    const uint32_t shown = ShownBefore(count, seconds);
    const GiftItem gift = LookUpGift(giftId, "CGiftShowManager::InitInsertGiftShow");
    auto item = MakeItem(sender, count, shown, text);

    varnet::MutexLock hold(pacedLock_);
    auto found = paced_.find(receiver.uid);
    if (found != paced_.end()) {
        for (auto& [id, g] : found->second.gifts)
            if (g) pacedItems_ -= std::min(pacedItems_, g->senders.size());
        found->second.gifts.clear();
    }
    if (!RoomForItemLocked()) return;
    Receiver& r = paced_[receiver.uid];
    r.user = receiver;
    GroupLocked(receiver, giftId, gift, start, shown).senders.push_back(std::move(item));
    ++pacedItems_;
}

size_t CGiftShowManager::Pick(size_t n) {
    return n <= 1 ? 0 : size_t(random_() % n);
}

bool CGiftShowManager::ChatViewReady() {
    IRoomUI* ui = roomUI_;
    IRoomCenterUI* center = GetRoomDealUI<IRoomCenterUI>(ui, 1);
    return center && center->IsChatViewReady();
}

void CGiftShowManager::ShowNextGiftUnit() {
    uint32_t now = Tick();
    if (!started_) {
        started_ = true;
        lastUnit_ = now;
    }
    if (now - lastUnit_ < kPacingIntervalMs) return;
    lastUnit_ += kPacingIntervalMs;  // one interval, so a stall is caught up one unit a tick
    varnet::MutexLock hold(pacedLock_);
    ShowUnitLocked();
}

bool CGiftShowManager::ShowUnitLocked() {
    for (;;) {
        if (paced_.empty()) return false;
        auto rit = std::next(paced_.begin(), long(Pick(paced_.size())));
        Receiver& receiver = rit->second;
        if (receiver.gifts.empty()) {
            paced_.erase(rit);
            continue;
        }
        for (;;) {
            if (receiver.gifts.empty()) return false;
            auto git = std::next(receiver.gifts.begin(), long(Pick(receiver.gifts.size())));
            GiftShowGroup* group = git->second.get();
            if (!group || group->senders.empty()) {
                receiver.gifts.erase(git);
                continue;
            }
            for (;;) {
                if (group->senders.empty()) return false;
                auto sit = std::next(group->senders.begin(), long(Pick(group->senders.size())));
                GiftShowItem& item = **sit;
                if (item.counted >= item.total) {
                    group->senders.erase(sit);
                    if (pacedItems_ > 0) --pacedItems_;
                    continue;
                }
                ++group->shown;
                ++item.counted;
                IRoomUI* ui = roomUI_;
                if (ui && !shield_ && ChatViewReady()) {
                    std::string html = BuildGiftShowUnitHtml(item.sender, receiver.user, int(item.total),
                                                             int(group->start + group->shown), item.text, group->gift);
                    if (!html.empty()) PostLine(ui->GetHWND(), CHAT_VIEW_PUBLIC, std::move(html));
                }
                if (item.counted >= item.total) {
                    group->senders.erase(sit);
                    if (pacedItems_ > 0) --pacedItems_;
                    if (pacedItems_ == 0) pacedDropLogged_ = false;
                    if (group->senders.empty()) {
                        receiver.gifts.erase(git);
                        if (receiver.gifts.empty()) paced_.erase(rit);
                    }
                }
                return true;
            }
        }
    }
}

void CGiftShowManager::InsertChequeShow(const RoomUserInfo& sender, const RoomUserInfo& receiver, uint32_t giftId,
                                        uint32_t amount) {
    auto item = std::make_unique<GiftChequeItem>();
    item->sender = sender;
    item->receiver = receiver;
    item->giftId = giftId;
    item->amount = amount;
    varnet::MutexLock hold(chequeLock_);
    if (cheques_.size() >= kMaxCheques) {
        if (!chequeDropLogged_) PJ_Log(kLog, LOG_FAILURE, "CGiftShowManager::InsertChequeShow", "支票过多，丢弃最早的");
        chequeDropLogged_ = true;
        cheques_.pop_front();
    }
    cheques_.push_back(std::move(item));
}

void CGiftShowManager::CheckChequeShow() {
    IRoomUI* ui = roomUI_;
    if (!ui || !ChatViewReady()) return;
    varnet::MutexLock hold(chequeLock_);
    // As many as the window has room for; the rest wait for the next turn.
    while (!cheques_.empty()) {
        const GiftChequeItem& cheque = *cheques_.front();
        GiftItem gift;
        if (RoomGetGift(cheque.giftId, gift)) {
            uint64_t amount = uint64_t(cheque.amount) * 10;
            std::string html = BuildChequeHtml(
                cheque.sender, cheque.receiver, gift,
                amount > uint64_t(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max() : int(amount));
            if (!lines_->HasRoom(html.size())) return;
            PostCountedChatLine(ui->GetHWND(), lines_, CHAT_VIEW_PUBLIC | CHAT_VIEW_OWN, std::move(html));
        } else {
            PJ_Log(kLog, LOG_FAILURE, "CGiftShowManager::CheckChequeShow", "获取礼物信息失败（GiftID=%d）",
                   int(cheque.giftId));
        }
        cheques_.pop_front();
    }
    chequeDropLogged_ = false;
}

void CGiftShowManager::PostLine(HWND hwnd, int flags, std::string html) {
    bool firstDrop = false;
    if (lines_->Admit(html.size(), firstDrop)) PostCountedChatLine(hwnd, lines_, flags, std::move(html));
    else if (firstDrop)
        PJ_Log(kLog, LOG_FAILURE, "CGiftShowManager::PostLine", "聊天消息过多，房间窗口来不及显示，丢弃");
}

void CGiftShowManager::InsertGlobalGiftShow(uint32_t count, const GlobalGiftNotice& notice) {
    GiftItem gift;
    gift.price = 0;
    if (!RoomGetGift(notice.giftId, gift)) {
        gift = GiftItem();
        gift.tips.clear();
    }
    auto item = std::make_unique<GlobalGiftItem>();
    item->picture = gift.fname;
    item->senderName = notice.senderName;
    item->senderId = notice.senderId;
    item->receiverName = notice.receiverName;
    item->receiverId = notice.receiverId;
    item->count = count;
    item->tips = gift.tips;
    item->giftName = gift.name;
    time_t t = static_cast<time_t>(notice.time);
    struct tm local {};
    if (localtime_r(&t, &local))
        item->timeText = StringUtility::Format("(%02d.%02d %02d:%02d)", local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                               local.tm_min);
    uint64_t priority = uint64_t(count) * gift.price;
    item->priority = priority > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(priority);
    item->word = notice.word;

    varnet::MutexLock hold(bannerLock_);
    // A flood of global gifts: the least valued of the longest waiting give way.
    if (bannerCount_ >= kMaxBanners) {
        while (!banner_.empty() && banner_.rbegin()->second.empty()) banner_.erase(std::prev(banner_.end()));
        if (!banner_.empty()) {
            auto& lowest = banner_.rbegin()->second;
            lowest.pop_front();
            --bannerCount_;
            if (!bannerDropLogged_)
                PJ_Log(kLog, LOG_FAILURE, "CGiftShowManager::InsertGlobalGiftShow", "全局礼物过多，丢弃");
            bannerDropLogged_ = true;
        }
    }
    banner_[item->priority].push_back(std::move(item));
    ++bannerCount_;
}

void CGiftShowManager::CheckGlobalGiftShow() {
    varnet::MutexLock hold(bannerLock_);
    if (banner_.empty()) return;
    IRoomCenterUI* center = GetRoomDealUI<IRoomCenterUI>(roomUI_, 1);
    if (!center) return;
    while (!banner_.empty() && banner_.begin()->second.empty()) banner_.erase(banner_.begin());
    if (banner_.empty()) return;
    auto& list = banner_.begin()->second;
    bool take = false;
    if (center->IsGiftBannerIdle()) {
        take = true;
    } else {
        if (center->GetGiftBannerSpeed() != 3) center->SetGiftBannerSpeed(3);
        uint32_t shown = center->GetGiftBannerPriority();
        uint32_t elapsed = center->GetGiftBannerElapsed();
        uint32_t waiting = list.front()->priority;
        take = (shown < waiting && elapsed > 2000) || (shown >= waiting && elapsed > 30000);
    }
    if (!take) return;
    std::unique_ptr<GlobalGiftItem> item = std::move(list.front());
    list.pop_front();
    if (bannerCount_ > 0) --bannerCount_;
    if (bannerCount_ == 0) bannerDropLogged_ = false;
    if (list.empty()) banner_.erase(banner_.begin());
    PostGlobalGiftShow(std::move(item));
}

void CGiftShowManager::PostGlobalGiftShow(std::unique_ptr<GlobalGiftItem> item) {
    IRoomUI* ui = roomUI_;
    HWND hwnd = ui ? ui->GetHWND() : nullptr;
    if (hwnd && IsWindow(hwnd)) PostRoomNotify(hwnd, ROOM_NOTIFY_GLOBAL_GIFT, std::move(item));
    // Otherwise the item, already out of the queue, is freed here.
}

void CGiftShowManager::ClearGiftShows() {
    varnet::MutexLock hold(pacedLock_);
    paced_.clear();
    pacedItems_ = 0;
    pacedDropLogged_ = false;
}

void CGiftShowManager::ClearChequeShows() {
    varnet::MutexLock hold(chequeLock_);
    cheques_.clear();
    chequeDropLogged_ = false;
}

void CGiftShowManager::ClearGlobalGiftShows() {
    varnet::MutexLock hold(bannerLock_);
    banner_.clear();
    bannerCount_ = 0;
    bannerDropLogged_ = false;
}

size_t CGiftShowManager::PendingUnits() const {
    varnet::MutexLock hold(pacedLock_);
    size_t n = 0;
    for (auto& [uid, r] : paced_)
        for (auto& [gid, g] : r.gifts)
            for (auto& s : g->senders) n += s->total > s->counted ? s->total - s->counted : 0;
    return n;
}

size_t CGiftShowManager::PendingCheques() const {
    varnet::MutexLock hold(chequeLock_);
    return cheques_.size();
}

size_t CGiftShowManager::PendingBanners() const {
    varnet::MutexLock hold(bannerLock_);
    size_t n = 0;
    for (auto& [p, l] : banner_) n += l.size();
    return n;
}
