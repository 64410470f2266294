// The room-service commands: one class per command with its request fields, its query and its reply fields.
// Requests: fill the fields (and the caller context of the base), then post to the request worker.
// Replies: made by the factory on the worker thread, valid only during the listeners' notification.
#pragma once

#include <list>
#include <map>
#include <memory>
#include <new>
#include <vector>

#include "CategoryRecords.h"
#include "RoomRecords.h"
#include "ZQCommandTable.h"
#include "ZQMessage.h"

// Camera count used by the enter-room query. The program installs the capture library's count at start-up
// (SetCameraCountProvider(&Grabbel::CameraCount)); until then, and after a null, no camera is counted.
using CameraCountFn = int (*)();
void SetCameraCountProvider(CameraCountFn fn);
int CameraCountForQuery();

// Name and type id of each command class, from the table.
template <class Command>
struct ZQCommandInfo;
#define ZQ_COMMAND_INFO(Class, name, id)           \
    class Class;                                   \
    template <>                                    \
    struct ZQCommandInfo<Class> {                  \
        static constexpr const char* kName = name; \
        static constexpr int kTypeId = id;         \
    };
ZQ_COMMAND_TABLE(ZQ_COMMAND_INFO)
#undef ZQ_COMMAND_INFO

// Base of every command class `Self`: starts with the command's name and type id and has the factory unit
// that makes a `Self`.
template <class Self>
class CZQCommand : public CZQMessage {
public:
    class MsgFactoryUnit : public CZQMsgFactoryUnitBase {
    public:
        CZQMessage* Create() override { return new (std::nothrow) Self(); }
    };
    static inline MsgFactoryUnit s_factoryUnit;

protected:
    CZQCommand() {
        typeId = ZQCommandInfo<Self>::kTypeId;
        cmd = ZQCommandInfo<Self>::kName;
    }
    bool IsCommand() const override { return true; }
};

// Coin balance of the four paid commands: "user"."xiubi" and "user"."xiubiver".
struct CoinReply {
    int64_t xiubi = 0;
    uint32_t xiubiver = 0;
    void Read(const Json::Value& root);
};

class CZQBroadCastMsg : public CZQCommand<CZQBroadCastMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
    std::string word;
    CoinReply coin;

protected:
    void ReadOwn(const Json::Value& root) override { coin.Read(root); }
};

class CZQCheckNickMsg : public CZQCommand<CZQCheckNickMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override;
    uint32_t uid = 0, sid = 0;
    std::string nickname;
};

class CZQEnterRoomMsg : public CZQCommand<CZQEnterRoomMsg> {
public:
    int BuildSendString(std::string& out) override;
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
    std::string name;  // the room's name when the reply gives one ("name"), else empty
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

class CZQExitRoomMsg : public CZQCommand<CZQExitRoomMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
    std::string chatid;
    int rid = 0;
};

class CZQGetAllNavMsg : public CZQCommand<CZQGetAllNavMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override { return nullptr; }
    uint32_t onlinecnt = 0;
    std::vector<CCategoryInfo> categories;

protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQGetAnonyUserMsg : public CZQCommand<CZQGetAnonyUserMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;

protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQGetCateListMsg : public CZQCommand<CZQGetCateListMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override { return nullptr; }
    uint32_t onlinecnt = 0;
    CCategoryInfo category;
    std::string officialName;
    uint32_t officialCnt = 0;

protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQGetChatSigMsg : public CZQCommand<CZQGetChatSigMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
    std::string chatid;
    ChatServerInfo chatServer;

protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQGetLiveSigMsg : public CZQCommand<CZQGetLiveSigMsg> {
public:
    int BuildSendString(std::string& out) override;
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

class CZQGetMicInfoMsg : public CZQCommand<CZQGetMicInfoMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0, rid = 0;
    std::string pwd;
    MicUserMap micList;

protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQGetMicMsg : public CZQCommand<CZQGetMicMsg> {
public:
    int BuildSendString(std::string& out) override;
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

class CZQGetMyInfoMsg : public CZQCommand<CZQGetMyInfoMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override { return nullptr; }
    AccountReply user;  // request: user.uid, user.sid, user.name
    int type = 2;

protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQGetRoomInfoMsg : public CZQCommand<CZQGetRoomInfoMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
    int rid = 0;
    std::string logo, pwd, name, msg[5];

protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQGetRoomUserMsg : public CZQCommand<CZQGetRoomUserMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0, rid = 0;
    std::map<uint32_t, std::unique_ptr<RoomUserInfo>> users;

protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQGetUserInfoMsg : public CZQCommand<CZQGetUserInfoMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
    int tid = 0;  // request: the user asked about; reply: "user"."uid"
    uint32_t photoid = 0, beautyid = 0, level = 0, sex = 0;
    std::string name, nickname, prov, city, birth;

protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQGetUserLocMsg : public CZQCommand<CZQGetUserLocMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override;
    uint32_t uid = 0, sid = 0;
    int tid = 0, rid = 0;
    std::string ip, loc;

protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQHeartBeatMsg : public CZQCommand<CZQHeartBeatMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
    int rid = 0;
    std::string chatid;
    int msgcnt = 0;
};

// Shape shared by the room-operation commands on another user.
#define ZQ_ROOM_OP_FIELDS      \
    uint32_t uid = 0, sid = 0; \
    int rid = 0, tid = 0;

class CZQKickRoomMsg : public CZQCommand<CZQKickRoomMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override;
    ZQ_ROOM_OP_FIELDS
};

class CZQLogInMsg : public CZQCommand<CZQLogInMsg> {
public:
    CZQLogInMsg();
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override;
    std::string pwd;
    AccountReply user;  // request: user.name
    int spareInt = 2;

protected:
    void ReadOwn(const Json::Value& root) override;
};

class CZQLogOutMsg : public CZQCommand<CZQLogOutMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override;
    uint32_t uid = 0, sid = 0;
};

class CZQOpFavRoomMsg : public CZQCommand<CZQOpFavRoomMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
    int optype = 0, rid = 0;
};

class CZQOpMicAttrMsg : public CZQCommand<CZQOpMicAttrMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override;
    uint32_t uid = 0, sid = 0;  // room id ctxInt[0], target ctxInt[1]
    int optype = -1, attr = -1;
};

class CZQOpMicMsg : public CZQCommand<CZQOpMicMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override;
    ZQ_ROOM_OP_FIELDS
    int optype = -1, mictype = -1;
    // Context read back from ctxText[0] ("uid|tid|optype|mictype").
    int ctxUid = 0, ctxTid = 0;
    bool ctxOpen = false, ctxMicType = false;
    void ParseOpContext();
};

class CZQOpRoomBlackUserMsg : public CZQCommand<CZQOpRoomBlackUserMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override;
    ZQ_ROOM_OP_FIELDS
    int optype = -1;
};

class CZQOpRoomUserChatMsg : public CZQCommand<CZQOpRoomUserChatMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override;
    ZQ_ROOM_OP_FIELDS
    int optype = -1;
};

class CZQOpRoomUserRoleMsg : public CZQCommand<CZQOpRoomUserRoleMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override;
    ZQ_ROOM_OP_FIELDS
    int optype = -1, roletype = -1;
};

class CZQSendColorBarMsg : public CZQCommand<CZQSendColorBarMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override { return nullptr; }
    ZQ_ROOM_OP_FIELDS
    uint32_t cid = 0;
    CoinReply coin;  // the balance after the charge, as the other paid commands give it

protected:
    void ReadOwn(const Json::Value& root) override { coin.Read(root); }
};

class CZQSendGiftMsg : public CZQCommand<CZQSendGiftMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override { return nullptr; }
    ZQ_ROOM_OP_FIELDS
    int gid = 0, cnt = 0;
    std::string word;
    CoinReply coin;

protected:
    void ReadOwn(const Json::Value& root) override { coin.Read(root); }
};

class CZQSendMultiGiftMsg : public CZQCommand<CZQSendMultiGiftMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
    int rid = 0, type = 5;
    std::vector<int> tidList;
    int gid = 0, cnt = 0;
    CoinReply coin;

protected:
    void ReadOwn(const Json::Value& root) override { coin.Read(root); }
};

class CZQSendTagMsg : public CZQCommand<CZQSendTagMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override { return nullptr; }
    ZQ_ROOM_OP_FIELDS
    int tagid = 0;
    CoinReply coin;

protected:
    void ReadOwn(const Json::Value& root) override { coin.Read(root); }
};

class CZQSendTmpNoticeMsg : public CZQCommand<CZQSendTmpNoticeMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;  // room id ctxInt[0]
    std::string word;
};

class CZQSysNotifyMsg : public CZQCommand<CZQSysNotifyMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override { return nullptr; }
};

class CZQUpdateMyInfoMsg : public CZQCommand<CZQUpdateMyInfoMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
    int tid = 0;
    std::string nickname;
    int photoid = 0, sex = 0;
    std::string prov, city, birth;
};

class CZQUpdateRoomInfoMsg : public CZQCommand<CZQUpdateRoomInfoMsg> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
    int rid = 0;
    std::string name;
    int logo = 0;
    std::string pwd;
    int maxcnt = 0;
    std::string msg[5];
};

class CZQUpdateWelWord : public CZQCommand<CZQUpdateWelWord> {
public:
    int BuildSendString(std::string& out) override;
    CZQMessage* Clone() override { return nullptr; }
    uint32_t uid = 0, sid = 0;
    int rid = 0, type = 1;
    std::string word;
};
