// The room-service commands: one class per command with its request fields, its query and its reply fields.
// Requests: fill the fields (and the caller context of the base), then post to the request worker.
// Replies: made by the factory on the worker thread, valid only during the listeners' notification.
#pragma once

#include <list>
#include <map>
#include <memory>
#include <vector>

#include "CategoryRecords.h"
#include "RoomRecords.h"
#include "ZQMessage.h"

// Camera count used by the enter-room query. The program installs the capture library's count at start-up
// (SetCameraCountProvider(&Grabbel::CameraCount)); until then, and after a null, no camera is counted.
using CameraCountFn = int (*)();
void SetCameraCountProvider(CameraCountFn fn);
int CameraCountForQuery();

#define ZQ_COMMAND(Class)                 \
    ZQ_DECLARE_MSG_FACTORY_UNIT(Class)    \
public:                                   \
    Class();                              \
    int BuildSendString(std::string& out) override;

#define ZQ_COMMAND_COMMON                 \
protected:                                \
    bool IsCommand() const override { return true; } \
public:

// Coin balance of the four paid commands: "user"."xiubi" and "user"."xiubiver".
struct CoinReply {
    int64_t xiubi = 0;
    uint32_t xiubiver = 0;
    void Read(const Json::Value& root);
};

class CZQBroadCastMsg : public CZQMessage {
    ZQ_COMMAND(CZQBroadCastMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
    std::string word;
    CoinReply coin;
protected:
    void ReadOwn(const Json::Value& root) override { coin.Read(root); }
};

class CZQCheckNickMsg : public CZQMessage {
    ZQ_COMMAND(CZQCheckNickMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override;
    uint32_t uid = 0, sid = 0;
    std::string nickname;
};

class CZQEnterRoomMsg : public CZQMessage {
    ZQ_COMMAND(CZQEnterRoomMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    // Request (room id in ctxInt[0]).
    uint32_t uid = 0, sid = 0;
    std::string pwd;
    uint32_t hide = 0;
    // Reply.
    uint32_t role = 0;
    int level = -1;
    std::string chatid;
    bool mute = false;
    bool fav = false;
    std::string msg[5];
    std::string entershow;
    MicUserMap micList;
    ChatServerInfo chatServer;
    struct GlobalGiftMsg {
        std::string fname, tname;
        uint32_t fbeautyid = 0, tbeautyid = 0, gid = 0, cnt = 0;
        uint64_t tm = 0;
        std::string word;
        int hide = 0;
    } globalMsg;
    std::list<std::unique_ptr<GiftHistoryInfo>> giftHistory;
    std::vector<WelcomeWordInfo> welcomeWords;
protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQExitRoomMsg : public CZQMessage {
    ZQ_COMMAND(CZQExitRoomMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
    std::string chatid;
    int rid = 0;
};

class CZQGetAllNavMsg : public CZQMessage {
    ZQ_COMMAND(CZQGetAllNavMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    uint32_t onlinecnt = 0;
    std::vector<CCategoryInfo> categories;
protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQGetAnonyUserMsg : public CZQMessage {
    ZQ_COMMAND(CZQGetAnonyUserMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQGetCateListMsg : public CZQMessage {
    ZQ_COMMAND(CZQGetCateListMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    uint32_t onlinecnt = 0;
    CCategoryInfo category;
    std::string officialName;
    uint32_t officialCnt = 0;
protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQGetChatSigMsg : public CZQMessage {
    ZQ_COMMAND(CZQGetChatSigMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
    std::string chatid;
    ChatServerInfo chatServer;
protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQGetLiveSigMsg : public CZQMessage {
    ZQ_COMMAND(CZQGetLiveSigMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    // Request: room id ctxInt[0], target ctxInt[1], op ctxText[0].
    uint32_t uid = 0, sid = 0;
    // Reply ("live").
    int live = 0;
    uint32_t micattr = 0;
    std::string url;
    uint32_t tm = 0;
    std::string md5;
    uint32_t idx = 0;
    // Operation context: "%d_%s" of (index, "public"/"private") in ctxText[1].
    int micIndex = 0;
    bool isPublic = false;
    static void MakeOpContext(CZQGetLiveSigMsg& msg);
    void ParseOpContext();
protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQGetMicInfoMsg : public CZQMessage {
    ZQ_COMMAND(CZQGetMicInfoMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0, rid = 0;
    std::string pwd;
    MicUserMap micList;
protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQGetMicMsg : public CZQMessage {
    ZQ_COMMAND(CZQGetMicMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override;
    int Parse(const char* text, int len) override;
    uint32_t uid = 0, sid = 0;
    int rid = 0, tid = 0;
    RoomUserInfo user;
    LiveStreamInfo stream;
protected:
    void ReadOwn(const Json::Value& root) override;
};

// The account record of the login and own-details replies.
struct AccountReply {
    uint32_t uid = 0, sid = 0, beautyid = 0;
    std::string name, nickname;
    uint32_t photoid = 0, level = 0, sex = 0;
    std::string prov, city, birth;
    uint32_t attr = 0;
    uint64_t upgradeleft = 0;
    uint64_t xiubi = 0;
    uint32_t xiubiver = 0;
    uint64_t zebin = 0;
    uint32_t zebinver = 0;
};

class CZQGetMyInfoMsg : public CZQMessage {
    ZQ_COMMAND(CZQGetMyInfoMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    AccountReply user;   // request: user.uid, user.sid, user.name
    int type = 2;
protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQGetRoomInfoMsg : public CZQMessage {
    ZQ_COMMAND(CZQGetRoomInfoMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
    int rid = 0;
    std::string logo, pwd, name, msg[5];
protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQGetRoomUserMsg : public CZQMessage {
    ZQ_COMMAND(CZQGetRoomUserMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0, rid = 0;
    std::map<uint32_t, std::unique_ptr<RoomUserInfo>> users;
protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQGetUserInfoMsg : public CZQMessage {
    ZQ_COMMAND(CZQGetUserInfoMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
    int tid = 0;             // request: the user asked about; reply: "user"."uid"
    uint32_t photoid = 0, beautyid = 0, level = 0, sex = 0;
    std::string name, nickname, prov, city, birth;
protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQGetUserLocMsg : public CZQMessage {
    ZQ_COMMAND(CZQGetUserLocMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override;
    uint32_t uid = 0, sid = 0;
    int tid = 0, rid = 0;
    std::string ip, loc;
protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQHeartBeatMsg : public CZQMessage {
    ZQ_COMMAND(CZQHeartBeatMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
    int rid = 0;
    std::string chatid;
    int msgcnt = 0;
};

// Shape shared by the room-operation commands on another user.
#define ZQ_ROOM_OP_FIELDS uint32_t uid = 0, sid = 0; int rid = 0, tid = 0;

class CZQKickRoomMsg : public CZQMessage {
    ZQ_COMMAND(CZQKickRoomMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override;
    ZQ_ROOM_OP_FIELDS
};

class CZQLogInMsg : public CZQMessage {
    ZQ_COMMAND(CZQLogInMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override;
    std::string pwd;
    AccountReply user;   // request: user.name
    int spareInt = 2;
protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQLogOutMsg : public CZQMessage {
    ZQ_COMMAND(CZQLogOutMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override;
    uint32_t uid = 0, sid = 0;
};

class CZQOpFavRoomMsg : public CZQMessage {
    ZQ_COMMAND(CZQOpFavRoomMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
    int optype = 0, rid = 0;
};

class CZQOpMicAttrMsg : public CZQMessage {
    ZQ_COMMAND(CZQOpMicAttrMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override;
    uint32_t uid = 0, sid = 0;   // room id ctxInt[0], target ctxInt[1]
    int optype = -1, attr = -1;
};

class CZQOpMicMsg : public CZQMessage {
    ZQ_COMMAND(CZQOpMicMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override;
    ZQ_ROOM_OP_FIELDS
    int optype = -1, mictype = -1;
    // Context read back from ctxText[0] ("uid|tid|optype|mictype").
    int ctxUid = 0, ctxTid = 0;
    bool ctxOpen = false, ctxMicType = false;
    void ParseOpContext();
};

class CZQOpRoomBlackUserMsg : public CZQMessage {
    ZQ_COMMAND(CZQOpRoomBlackUserMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override;
    ZQ_ROOM_OP_FIELDS
    int optype = -1;
};

class CZQOpRoomUserChatMsg : public CZQMessage {
    ZQ_COMMAND(CZQOpRoomUserChatMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override;
    ZQ_ROOM_OP_FIELDS
    int optype = -1;
};

class CZQOpRoomUserRoleMsg : public CZQMessage {
    ZQ_COMMAND(CZQOpRoomUserRoleMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override;
    ZQ_ROOM_OP_FIELDS
    int optype = -1, roletype = -1;
};

class CZQSendColorBarMsg : public CZQMessage {
    ZQ_COMMAND(CZQSendColorBarMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    ZQ_ROOM_OP_FIELDS
    uint32_t cid = 0;
};

class CZQSendGiftMsg : public CZQMessage {
    ZQ_COMMAND(CZQSendGiftMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    ZQ_ROOM_OP_FIELDS
    int gid = 0, cnt = 0;
    std::string word;
    CoinReply coin;
protected:
    void ReadOwn(const Json::Value& root) override { coin.Read(root); }
};

class CZQSendMultiGiftMsg : public CZQMessage {
    ZQ_COMMAND(CZQSendMultiGiftMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
    int rid = 0, type = 5;
    std::vector<int> tidList;
    int gid = 0, cnt = 0;
    CoinReply coin;
protected:
    void ReadOwn(const Json::Value& root) override { coin.Read(root); }
};

class CZQSendTagMsg : public CZQMessage {
    ZQ_COMMAND(CZQSendTagMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    ZQ_ROOM_OP_FIELDS
    int tagid = 0;
    CoinReply coin;
protected:
    void ReadOwn(const Json::Value& root) override { coin.Read(root); }
};

class CZQSendTmpNoticeMsg : public CZQMessage {
    ZQ_COMMAND(CZQSendTmpNoticeMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;   // room id ctxInt[0]
    std::string word;
};

class CZQSysNotifyMsg : public CZQMessage {
    ZQ_COMMAND(CZQSysNotifyMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
};

class CZQUpdateMyInfoMsg : public CZQMessage {
    ZQ_COMMAND(CZQUpdateMyInfoMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
    int tid = 0;
    std::string nickname;
    int photoid = 0, sex = 0;
    std::string prov, city, birth;
};

class CZQUpdateRoomInfoMsg : public CZQMessage {
    ZQ_COMMAND(CZQUpdateRoomInfoMsg)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
    int rid = 0;
    std::string name;
    int logo = 0;
    std::string pwd;
    int maxcnt = 0;
    std::string msg[5];
};

class CZQUpdateWelWord : public CZQMessage {
    ZQ_COMMAND(CZQUpdateWelWord)
    ZQ_COMMAND_COMMON
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
    int rid = 0, type = 1;
    std::string word;
};
