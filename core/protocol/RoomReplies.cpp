// Reply readers of the enter-room reply and the microphone and user lists.
#include "GlobalData.h"
#include "JsonSafe.h"
#include "ZQCommands.h"

using namespace JsonSafe;

namespace {
// Reads the "live" object of a microphone entry and builds the connection text. A reply without a stream
// address leaves the address empty.
void ReadLive(const Json::Value& live, LiveStreamInfo& s) {
    s.live = IsOne(Get(live, "type")) ? 1 : 0;
    ReadUInt(live, "micattr", s.micattr);
    std::string url, op, md5;
    uint32_t tm = 0;
    ReadString(live, "url", url);
    if (ReadString(live, "op", op)) s.publish = op == "publish" ? 1 : 0;
    ReadUInt(live, "tm", tm);
    ReadString(live, "md5", md5);
    ReadUInt(live, "idx", s.idx);
    if (!url.empty()) s.url = CGlobalDataApp::GetInstance().BuildRtmpUrl(url, tm, op, md5);
}

// The microphone list reader; `full` reads every user key (enter room), else the four of the mic-info reply.
void ReadMicList(const Json::Value& list, bool full, MicUserMap& out) {
    Json::ArrayIndex n = ArraySize(list);
    for (Json::ArrayIndex i = 0; i < n; ++i) {
        const Json::Value& e = list[i];
        MicUserInfo m;
        const Json::Value& u = Get(e, "user");
        ReadUInt(u, "uid", m.user.uid);
        ReadDecoded(u, "nickname", 256, m.user.nickname);
        ReadUInt(u, "level", m.user.level);
        ReadUInt(u, "beautyid", m.user.beautyid);
        if (full) {
            ReadUInt(u, "photoid", m.user.photoid);
            ReadString(u, "chatid", m.user.chatid);
            ReadUInt(u, "role", m.user.role);
            ReadUInt(u, "tagid", m.user.tagid);
        }
        ReadLive(Get(e, "live"), m.stream);
        out.emplace(m.user.uid, std::move(m));  // the first entry of a uid stays
    }
}

void ReadChatServer(const Json::Value& room, ChatServerInfo& c) {
    ReadString(room, "ip", c.ip);
    ReadUInt(room, "port", c.port);
    ReadUInt(room, "tm", c.tm);
    const Json::Value& channel = Get(room, "channel");
    const Json::Value& login = Get(channel, "login");
    const Json::Value& join = Get(channel, "join");
    ReadUInt(login, "id", c.loginId);
    ReadUInt(login, "sig", c.loginSig);
    ReadString(login, "chatname", c.chatname);
    ReadUInt(join, "id", c.joinId);
    ReadUInt(join, "sig", c.joinSig);
}
}  // namespace

void ReadChatServerInfo(const Json::Value& room, ChatServerInfo& c) {
    ReadChatServer(room, c);
}

void CZQEnterRoomMsg::ReadOwn(const Json::Value& root) {
    // Own state.
    ReadUInt(root, "role", role);
    ReadInt(root, "level", level);
    ReadString(root, "chatid", chatid);
    ReadBool(root, "mute", mute);
    ReadBool(root, "fav", fav);
    static const char* kMsg[5] = {"msg1", "msg2", "msg3", "msg4", "msg5"};
    for (int i = 0; i < 5; ++i) ReadDecoded(root, kMsg[i], 2048, msg[i]);
    ReadString(root, "entershow", entershow);
    ReadUInt(root, "hide", hide);
    ReadDecoded(root, "name", 256, name);

    // Microphones, chat server.
    ReadMicList(Get(root, "miclist"), true, micList);
    ReadChatServer(Get(root, "chatroom"), chatServer);

    // Last gift message and gift history.
    const Json::Value& g = Get(root, "globalmsg");
    ReadDecoded(g, "fname", 256, globalMsg.fname);
    ReadDecoded(g, "tname", 256, globalMsg.tname);
    ReadUInt(g, "gid", globalMsg.gid);
    ReadUInt(g, "cnt", globalMsg.cnt);
    uint32_t tm = 0;
    if (ReadUInt(g, "tm", tm)) globalMsg.tm = tm;
    ReadUInt(g, "fbeautyid", globalMsg.fbeautyid);
    ReadUInt(g, "tbeautyid", globalMsg.tbeautyid);
    ReadDecoded(g, "word", 512, globalMsg.word);
    globalMsg.hide = IsOne(Get(g, "hide")) ? 1 : 0;

    const Json::Value& hist = Get(root, "sendgiftlist");
    for (Json::ArrayIndex i = 0, n = ArraySize(hist); i < n; ++i) {
        const Json::Value& e = hist[i];
        auto h = std::make_unique<GiftHistoryInfo>();
        ReadUInt(e, "fid", h->sender.uid);
        ReadDecoded(e, "fname", 256, h->sender.nickname);
        ReadUInt(e, "fbeautyid", h->sender.beautyid);
        ReadUInt(e, "flevel", h->sender.level);
        ReadUInt(e, "tid", h->receiver.uid);
        ReadDecoded(e, "tname", 256, h->receiver.nickname);
        ReadUInt(e, "tbeautyid", h->receiver.beautyid);
        ReadUInt(e, "tlevel", h->receiver.level);
        ReadUInt(e, "gid", h->gid);
        ReadUInt(e, "cnt", h->cnt);
        ReadUInt(e, "hiscnt", h->hiscnt);
        ReadUInt(e, "tm", h->tm);
        const Json::Value& hide = Get(e, "hide");
        if (!hide.isNull()) h->sender.hide = IsOne(hide) ? 1 : 0;
        giftHistory.push_back(std::move(h));
    }

    // Welcome words.
    const Json::Value& wel = Get(root, "wellist");
    for (Json::ArrayIndex i = 0, n = ArraySize(wel); i < n; ++i) {
        WelcomeWordInfo w;
        ReadUInt(wel[i], "uid", w.uid);
        ReadDecoded(wel[i], "word", 2048, w.word);
        welcomeWords.push_back(std::move(w));
    }
}

void CZQGetMicInfoMsg::ReadOwn(const Json::Value& root) {
    micList.clear();
    ReadMicList(Get(root, "miclist"), false, micList);
}

int CZQGetMicMsg::Parse(const char* text, int len) {
    CZQMessage::Parse(text, len);
    return 1;
}

void CZQGetMicMsg::ReadOwn(const Json::Value& root) {
    const Json::Value& mic = Get(root, "mic");
    const Json::Value& u = Get(mic, "user");
    ReadUInt(u, "uid", user.uid);
    ReadString(u, "nickname", user.nickname);  // taken as sent
    ReadString(u, "chatid", user.chatid);
    ReadUInt(u, "beautyid", user.beautyid);
    ReadUInt(u, "photoid", user.photoid);
    ReadUInt(u, "level", user.level);
    ReadUInt(u, "role", user.role);
    ReadLive(Get(mic, "live"), stream);
}

void CZQGetRoomUserMsg::ReadOwn(const Json::Value& root) {
    users.clear();
    const Json::Value& list = Get(root, "userlist");
    for (Json::ArrayIndex i = 0, n = ArraySize(list); i < n; ++i) {
        const Json::Value& e = list[i];
        auto u = std::make_unique<RoomUserInfo>();
        ReadUInt(e, "uid", u->uid);
        ReadDecoded(e, "nickname", 250, u->nickname);
        ReadUInt(e, "level", u->level);
        ReadUInt(e, "beautyid", u->beautyid);
        ReadUInt(e, "photoid", u->photoid);
        ReadUInt(e, "camera", u->camera);
        ReadUInt(e, "role", u->role);
        ReadString(e, "chatid", u->chatid);
        ReadUInt(e, "mic", u->mic);
        ReadUInt(e, "hide", u->hide);
        ReadUInt(e, "tagid", u->tagid);
        uint32_t key = u->uid;
        users.emplace(key, std::move(u));
    }
}
