// Gift pacing and the global gift banner of the open room.
//
// A gift of N units to a receiver is played out one unit a line, at most one unit every 66 ms, with the
// receiver, the gift and the sender picked at random among those waiting. Cheques are written one line each.
// Global gifts wait by priority (count x price) for the banner of the chat column.
//
// Threads: producers (Insert*) on the chat client's receive thread and the request worker; the Check*/Show*
// operations on the room logic's detection thread; Clear* on whichever thread tears the room down.
// Locks: bannerLock_ guards banner_, pacedLock_ guards paced_, chequeLock_ guards cheques_; no operation
// holds two of them. Messages are posted while the queue's lock is held; the catalogue's own read lock is
// taken inside (order: queue lock, then catalogue lock). The banner accessors of the chat column are called
// under bannerLock_.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "CatalogRecords.h"
#include "RoomNotify.h"
#include "RoomRecords.h"
#include "ThreadAnnotations.h"

class IRoomUI;

struct GiftShowItem {
    RoomUserInfo sender;
    uint32_t total = 0;
    uint32_t counted = 0;
    std::string text;
};

struct GiftShowGroup {
    GiftItem gift;
    uint32_t shown = 0;
    uint32_t start = 0;
    std::list<std::unique_ptr<GiftShowItem>> senders;
};

struct GiftChequeItem {
    RoomUserInfo sender;
    RoomUserInfo receiver;
    uint32_t giftId = 0;
    uint32_t amount = 0;
};

// What a global-gift notice says.
struct GlobalGiftNotice {
    std::string senderName;
    std::string receiverName;
    uint32_t senderId = 0;
    uint32_t receiverId = 0;
    uint32_t giftId = 0;
    int64_t time = 0;  // seconds since 1970
    std::string word;
};

class CGiftShowManager {
public:
    static constexpr uint32_t kPacingIntervalMs = 66;

    CGiftShowManager();
    virtual ~CGiftShowManager();
    CGiftShowManager(const CGiftShowManager&) = delete;
    CGiftShowManager& operator=(const CGiftShowManager&) = delete;

    void SetRoomUI(IRoomUI* ui) { roomUI_ = ui; }
    // The count of the room's lines waiting for the window, which gift and cheque lines join (before the
    // threads start).
    void SetLinePending(std::shared_ptr<RoomLinePending> lines) { lines_ = std::move(lines); }
    void SetShieldFlag(bool shield) { shield_ = shield; }
    bool GetShieldFlag() const { return shield_; }

    void InserGiftShow(const RoomUserInfo& sender, const RoomUserInfo& receiver, uint32_t giftId, uint32_t count,
                       uint32_t start, const std::string& text);
    // Replaces the receiver's queued gifts by this one, of which min(N, rate x seconds) units remain to be
    // played; all N when the seconds are negative (rate x seconds compared unsigned with N).
    void InitInsertGiftShow(const RoomUserInfo& receiver, const RoomUserInfo& sender, uint32_t giftId, uint32_t count,
                            uint32_t start, int64_t seconds, const std::string& text);
    void ShowNextGiftUnit();

    void InsertChequeShow(const RoomUserInfo& sender, const RoomUserInfo& receiver, uint32_t giftId, uint32_t amount);
    void CheckChequeShow();

    void InsertGlobalGiftShow(uint32_t count, const GlobalGiftNotice& notice);
    void CheckGlobalGiftShow();

    void ClearGiftShows();
    void ClearChequeShows();
    void ClearGlobalGiftShows();

    // For tests: the clock, the random source, and what is queued.
    void SetTickSource(std::function<uint32_t()> tick);
    void SeedRandom(uint32_t seed);
    size_t PendingUnits() const;  // units still to be played, all receivers
    size_t PendingCheques() const;
    size_t PendingBanners() const;

    // Bounds against a flooding server: global gifts waiting for the banner (the least valued of the longest
    // waiting give way), gifts waiting to be paced (new ones are dropped), and the units of one gift that are
    // played (its last ones).
    static constexpr size_t kMaxBanners = 200;
    static constexpr size_t kMaxCheques = RoomLinePending::kMaxLines;  // the oldest give way
    static constexpr size_t kMaxPacedItems = 2000;
    static constexpr uint32_t kMaxPacedUnits = 1000;

private:
    struct Receiver {
        RoomUserInfo user;  // the record of the first insertion
        std::map<uint32_t, std::unique_ptr<GiftShowGroup>> gifts;
    };

    uint32_t Tick() const;
    static uint32_t ShownBefore(uint32_t count, int64_t seconds);  // units of N counted as already played
    // Units of N counted as played: `shown`, or more so that at most kMaxPacedUnits remain.
    static uint32_t CapUnits(uint32_t count, uint32_t shown);
    static GiftItem LookUpGift(uint32_t giftId, const char* where);  // an empty gift when unknown (logged)
    static std::unique_ptr<GiftShowItem> MakeItem(const RoomUserInfo& sender, uint32_t count, uint32_t counted,
                                                  const std::string& text);
    // Whether one more sender's gift may wait (kMaxPacedItems); a drop is logged once per flood.
    bool RoomForItemLocked() REQUIRES(pacedLock_);
    // The receiver's group of `giftId`, made with these fields when new.
    GiftShowGroup& GroupLocked(const RoomUserInfo& receiver, uint32_t giftId, const GiftItem& gift, uint32_t start,
                               uint32_t shown) REQUIRES(pacedLock_);
    size_t Pick(size_t n) REQUIRES(pacedLock_);
    bool ShowUnitLocked() REQUIRES(pacedLock_);
    void PostGlobalGiftShow(std::unique_ptr<GlobalGiftItem> item) REQUIRES(bannerLock_);
    bool ChatViewReady();
    // A gift line, dropped (logged once a flood) while the room's lines waiting for the window are at their bound.
    void PostLine(HWND hwnd, int flags, std::string html);

    std::atomic<IRoomUI*> roomUI_{nullptr};
    std::atomic<bool> shield_{false};

    mutable varnet::Mutex bannerLock_;
    std::map<uint32_t, std::list<std::unique_ptr<GlobalGiftItem>>, std::greater<uint32_t>> banner_
        GUARDED_BY(bannerLock_);
    size_t bannerCount_ GUARDED_BY(bannerLock_) = 0;
    bool bannerDropLogged_ GUARDED_BY(bannerLock_) = false;

    mutable varnet::Mutex pacedLock_;
    std::map<uint32_t, Receiver> paced_ GUARDED_BY(pacedLock_);  // by receiver id
    size_t pacedItems_ GUARDED_BY(pacedLock_) = 0;               // senders' gifts waiting, all receivers
    bool pacedDropLogged_ GUARDED_BY(pacedLock_) = false;
    std::mt19937 random_ GUARDED_BY(pacedLock_);

    mutable varnet::Mutex chequeLock_;
    std::deque<std::unique_ptr<GiftChequeItem>> cheques_ GUARDED_BY(chequeLock_);
    bool chequeDropLogged_ GUARDED_BY(chequeLock_) = false;

    std::shared_ptr<RoomLinePending> lines_ = std::make_shared<RoomLinePending>();

    // Detection thread only.
    bool started_ = false;
    uint32_t lastUnit_ = 0;

    std::function<uint32_t()> tick_;  // set before the threads start
};
