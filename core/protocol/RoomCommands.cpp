// Constructors, queries, clones and context operations of the commands.
#include <atomic>
#include <cstdlib>
#include <new>

#include "GlobalData.h"
#include "JsonSafe.h"
#include "ZQCommands.h"
#include "ZqLib.h"

using StringUtility::Format;

namespace {
int NoCameraCount() { return 0; }
std::atomic<CameraCountFn> g_cameraCount{&NoCameraCount};
}  // namespace

void SetCameraCountProvider(CameraCountFn fn) { g_cameraCount.store(fn ? fn : &NoCameraCount); }
int CameraCountForQuery() { return g_cameraCount.load()(); }

// A clone that carries only the base copy set.
#define ZQ_CLONE_BASE(Class)                               \
    CZQMessage* Class::Clone() {                           \
        Class* m = new (std::nothrow) Class();             \
        if (m) m->CopyBase(*this);                         \
        return m;                                          \
    }

#define ZQ_INIT(id, name) \
    typeId = id;          \
    cmd = name;

// ---- broadcast ----
ZQ_DEFINE_MSG_FACTORY_UNIT(CZQBroadCastMsg)
CZQBroadCastMsg::CZQBroadCastMsg() { ZQ_INIT(18, "broadcast") }
int CZQBroadCastMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(ctxInt[0]), uid, sid, false) + Format("&rid=%d&word=%s", ctxInt[0], Enc(word, 1024).c_str());
    return 1;
}

// ---- checknick ----
ZQ_DEFINE_MSG_FACTORY_UNIT(CZQCheckNickMsg)
CZQCheckNickMsg::CZQCheckNickMsg() { ZQ_INIT(1, "checknick") }
int CZQCheckNickMsg::BuildSendString(std::string& out) {
    out = HeadPlainUser(uid, sid) + Format("&nickname=%s", Enc(nickname, 250).c_str());
    return 1;
}
CZQMessage* CZQCheckNickMsg::Clone() { return new (std::nothrow) CZQCheckNickMsg(); }

// ---- enterroom ----
ZQ_DEFINE_MSG_FACTORY_UNIT(CZQEnterRoomMsg)
CZQEnterRoomMsg::CZQEnterRoomMsg() { ZQ_INIT(9, "enterroom") }
int CZQEnterRoomMsg::BuildSendString(std::string& out) {
    unsigned camera = CameraCountForQuery() > 0 ? 1 : 0;
    out = HeadSigned(U(ctxInt[0]), uid, sid, true) +
          Format("&rid=%u&pwd=%s&camera=%u&hide=%d", U(ctxInt[0]), Enc(pwd, 250).c_str(), camera,
                 static_cast<int>(hide));
    return 1;
}

// ---- exitroom ----
ZQ_DEFINE_MSG_FACTORY_UNIT(CZQExitRoomMsg)
CZQExitRoomMsg::CZQExitRoomMsg() { ZQ_INIT(10, "exitroom") }
int CZQExitRoomMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, false) + Format("&chatid=%s&rid=%d", EncAll(chatid).c_str(), rid);
    return 1;
}

// ---- getallnav, getanonyuser, getcatelist ----
ZQ_DEFINE_MSG_FACTORY_UNIT(CZQGetAllNavMsg)
CZQGetAllNavMsg::CZQGetAllNavMsg() { ZQ_INIT(7, "getallnav") }
int CZQGetAllNavMsg::BuildSendString(std::string& out) {
    out = HeadPlain();
    return 1;
}

ZQ_DEFINE_MSG_FACTORY_UNIT(CZQGetAnonyUserMsg)
CZQGetAnonyUserMsg::CZQGetAnonyUserMsg() { ZQ_INIT(5, "getanonyuser") }
int CZQGetAnonyUserMsg::BuildSendString(std::string& out) {
    out = HeadPrefixed();
    return 1;
}

ZQ_DEFINE_MSG_FACTORY_UNIT(CZQGetCateListMsg)
CZQGetCateListMsg::CZQGetCateListMsg() { ZQ_INIT(8, "getcatelist") }
int CZQGetCateListMsg::BuildSendString(std::string& out) {
    out = HeadPlain();
    return 1;
}

// ---- getchatsig ----
ZQ_DEFINE_MSG_FACTORY_UNIT(CZQGetChatSigMsg)
CZQGetChatSigMsg::CZQGetChatSigMsg() { ZQ_INIT(24, "getchatsig") }
int CZQGetChatSigMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(ctxInt[0]), uid, sid, true) + Format("&rid=%u&chatid=%s", U(ctxInt[0]), EncAll(chatid).c_str());
    return 1;
}

// ---- getlivesig ----
ZQ_DEFINE_MSG_FACTORY_UNIT(CZQGetLiveSigMsg)
CZQGetLiveSigMsg::CZQGetLiveSigMsg() { ZQ_INIT(20, "getlivesig") }
int CZQGetLiveSigMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(ctxInt[0]), uid, sid, false) +
          Format("&rid=%u&tid=%u&op=%s", U(ctxInt[0]), U(ctxInt[1]), EncAll(ctxText[0]).c_str());
    return 1;
}
void CZQGetLiveSigMsg::MakeOpContext(CZQGetLiveSigMsg& msg) {
    msg.ctxText[1] = Format("%d_%s", msg.micIndex, msg.isPublic ? "public" : "private");
}
void CZQGetLiveSigMsg::ParseOpContext() {
    std::vector<std::string> parts;
    StringUtility::Tokenize(ctxText[1], "_", parts);
    if (parts.size() >= 2) {
        micIndex = std::atoi(parts[0].c_str());
        isPublic = parts[1] == "public";
    } else {
        micIndex = 0;
    }
}

// ---- getmicinfo, getmic ----
ZQ_DEFINE_MSG_FACTORY_UNIT(CZQGetMicInfoMsg)
CZQGetMicInfoMsg::CZQGetMicInfoMsg() { ZQ_INIT(35, "getmicinfo") }
int CZQGetMicInfoMsg::BuildSendString(std::string& out) {
    out = HeadSigned(rid, uid, sid, true) + Format("&rid=%u&pwd=%s", rid, Enc(pwd, 250).c_str());
    return 1;
}

ZQ_DEFINE_MSG_FACTORY_UNIT(CZQGetMicMsg)
CZQGetMicMsg::CZQGetMicMsg() { ZQ_INIT(28, "getmic") }
int CZQGetMicMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, false) + Format("&rid=%d&tid=%d", rid, tid);
    return 1;
}
ZQ_CLONE_BASE(CZQGetMicMsg)

// ---- getmyinfo, getroominfo, getroomuser, getuserinfo, getuserloc ----
ZQ_DEFINE_MSG_FACTORY_UNIT(CZQGetMyInfoMsg)
CZQGetMyInfoMsg::CZQGetMyInfoMsg() { ZQ_INIT(3, "getmyinfo") }
int CZQGetMyInfoMsg::BuildSendString(std::string& out) {
    out = HeadPrefixed() + Format("&uid=%u&sid=%u&name=%s&type=%d", user.uid, user.sid, Enc(user.name, 250).c_str(), type);
    return 1;
}

ZQ_DEFINE_MSG_FACTORY_UNIT(CZQGetRoomInfoMsg)
CZQGetRoomInfoMsg::CZQGetRoomInfoMsg() { ZQ_INIT(11, "getroominfo") }
int CZQGetRoomInfoMsg::BuildSendString(std::string& out) {
    out = HeadPlainUser(uid, sid) + Format("&rid=%d", rid);
    return 1;
}

ZQ_DEFINE_MSG_FACTORY_UNIT(CZQGetRoomUserMsg)
CZQGetRoomUserMsg::CZQGetRoomUserMsg() { ZQ_INIT(15, "getroomuser") }
int CZQGetRoomUserMsg::BuildSendString(std::string& out) {
    out = HeadSigned(rid, uid, sid, false) + Format("&rid=%u", rid);
    return 1;
}

ZQ_DEFINE_MSG_FACTORY_UNIT(CZQGetUserInfoMsg)
CZQGetUserInfoMsg::CZQGetUserInfoMsg() { ZQ_INIT(25, "getuserinfo") }
int CZQGetUserInfoMsg::BuildSendString(std::string& out) {
    out = HeadPlainUser(uid, sid) + Format("&tid=%d", tid);
    return 1;
}

ZQ_DEFINE_MSG_FACTORY_UNIT(CZQGetUserLocMsg)
CZQGetUserLocMsg::CZQGetUserLocMsg() { ZQ_INIT(1, "getuserloc") }
int CZQGetUserLocMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, false) + Format("&tid=%d&rid=%d", tid, rid);
    return 1;
}
ZQ_CLONE_BASE(CZQGetUserLocMsg)

// ---- heartbeat ----
ZQ_DEFINE_MSG_FACTORY_UNIT(CZQHeartBeatMsg)
CZQHeartBeatMsg::CZQHeartBeatMsg() { ZQ_INIT(14, "heartbeat") }
int CZQHeartBeatMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, true) +
          Format("&rid=%d&chatid=%s&msgcnt=%d", rid, EncAll(chatid).c_str(), msgcnt);
    return 1;
}

// ---- kickroom ----
ZQ_DEFINE_MSG_FACTORY_UNIT(CZQKickRoomMsg)
CZQKickRoomMsg::CZQKickRoomMsg() { ZQ_INIT(1, "kickroom") }
int CZQKickRoomMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, false) + Format("&rid=%d&tid=%d", rid, tid);
    return 1;
}
ZQ_CLONE_BASE(CZQKickRoomMsg)

// ---- login, logout ----
ZQ_DEFINE_MSG_FACTORY_UNIT(CZQLogInMsg)
CZQLogInMsg::CZQLogInMsg() {
    ZQ_INIT(1, "login")
    user.xiubiver = 0xFFFFFFFFu;
    user.zebinver = 0xFFFFFFFFu;
}
int CZQLogInMsg::BuildSendString(std::string& out) {
    out = HeadPrefixed() + Format("&name=%s&pwd=%s", Enc(user.name, 250).c_str(), Enc(pwd, 250).c_str());
    return 1;
}
CZQMessage* CZQLogInMsg::Clone() {
    CZQLogInMsg* m = new (std::nothrow) CZQLogInMsg();
    if (!m) return nullptr;
    m->CopyBase(*this);
    m->pwd = pwd;
    m->user = user;
    m->spareInt = spareInt;
    return m;
}

ZQ_DEFINE_MSG_FACTORY_UNIT(CZQLogOutMsg)
CZQLogOutMsg::CZQLogOutMsg() { ZQ_INIT(2, "logout") }
int CZQLogOutMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(ctxInt[0]), uid, sid, true);
    return 1;
}
ZQ_CLONE_BASE(CZQLogOutMsg)

// ---- opfavroom, opmicattr, opmic ----
ZQ_DEFINE_MSG_FACTORY_UNIT(CZQOpFavRoomMsg)
CZQOpFavRoomMsg::CZQOpFavRoomMsg() { ZQ_INIT(12, "opfavroom") }
int CZQOpFavRoomMsg::BuildSendString(std::string& out) {
    out = HeadPlainUser(uid, sid) + Format("&optype=%d&rid=%d", optype, rid);
    return 1;
}

ZQ_DEFINE_MSG_FACTORY_UNIT(CZQOpMicAttrMsg)
CZQOpMicAttrMsg::CZQOpMicAttrMsg() { ZQ_INIT(27, "opmicattr") }
int CZQOpMicAttrMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(ctxInt[0]), uid, sid, false) +
          Format("&rid=%d&tid=%d&optype=%d&attr=%d", ctxInt[0], ctxInt[1], optype, attr);
    return 1;
}
ZQ_CLONE_BASE(CZQOpMicAttrMsg)

ZQ_DEFINE_MSG_FACTORY_UNIT(CZQOpMicMsg)
CZQOpMicMsg::CZQOpMicMsg() { ZQ_INIT(1, "opmic") }
int CZQOpMicMsg::BuildSendString(std::string& out) {
    ctxText[0] = Format("%d|%d|%d|%d", static_cast<int>(uid), tid, optype, mictype);
    out = HeadSigned(U(rid), uid, sid, false) + Format("&rid=%d&tid=%d&optype=%d&mictype=%d", rid, tid, optype, mictype);
    return 1;
}
void CZQOpMicMsg::ParseOpContext() {
    std::vector<std::string> parts;
    StringUtility::Tokenize(ctxText[0], "|", parts);
    if (parts.size() <= 3) return;
    ctxUid = std::atoi(parts[0].c_str());
    ctxTid = std::atoi(parts[1].c_str());
    ctxOpen = parts[2] == "1";
    ctxMicType = parts[3] == "1";
}
ZQ_CLONE_BASE(CZQOpMicMsg)

// ---- room-user operations ----
ZQ_DEFINE_MSG_FACTORY_UNIT(CZQOpRoomBlackUserMsg)
CZQOpRoomBlackUserMsg::CZQOpRoomBlackUserMsg() { ZQ_INIT(1, "oproomblackuser") }
int CZQOpRoomBlackUserMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, false) + Format("&rid=%d&tid=%d&optype=%d", rid, tid, optype);
    return 1;
}
ZQ_CLONE_BASE(CZQOpRoomBlackUserMsg)

ZQ_DEFINE_MSG_FACTORY_UNIT(CZQOpRoomUserChatMsg)
CZQOpRoomUserChatMsg::CZQOpRoomUserChatMsg() { ZQ_INIT(1, "oproomuserchat") }
int CZQOpRoomUserChatMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, false) + Format("&rid=%d&tid=%d&optype=%d", rid, tid, optype);
    return 1;
}
ZQ_CLONE_BASE(CZQOpRoomUserChatMsg)

ZQ_DEFINE_MSG_FACTORY_UNIT(CZQOpRoomUserRoleMsg)
CZQOpRoomUserRoleMsg::CZQOpRoomUserRoleMsg() { ZQ_INIT(1, "oproomuserrole") }
int CZQOpRoomUserRoleMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, false) +
          Format("&rid=%d&tid=%d&optype=%d&roletype=%d", rid, tid, optype, roletype);
    return 1;
}
ZQ_CLONE_BASE(CZQOpRoomUserRoleMsg)

// ---- gifts, tags, colour bars, notices ----
ZQ_DEFINE_MSG_FACTORY_UNIT(CZQSendColorBarMsg)
CZQSendColorBarMsg::CZQSendColorBarMsg() { ZQ_INIT(36, "sendcolorbar") }
int CZQSendColorBarMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, false) + Format("&rid=%d&tid=%d&cid=%u", rid, tid, cid);
    return 1;
}

ZQ_DEFINE_MSG_FACTORY_UNIT(CZQSendGiftMsg)
CZQSendGiftMsg::CZQSendGiftMsg() { ZQ_INIT(17, "sendgift") }
int CZQSendGiftMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, false) +
          Format("&rid=%d&tid=%d&gid=%d&cnt=%d&word=%s", rid, tid, gid, cnt, Enc(word, 512).c_str());
    return 1;
}

ZQ_DEFINE_MSG_FACTORY_UNIT(CZQSendMultiGiftMsg)
CZQSendMultiGiftMsg::CZQSendMultiGiftMsg() { ZQ_INIT(17, "sendmultigift") }
int CZQSendMultiGiftMsg::BuildSendString(std::string& out) {
    if (tidList.empty()) return 0;
    std::string list = std::to_string(tidList[0]);
    for (size_t i = 1; i < tidList.size(); ++i) {
        list += ',';
        list += std::to_string(tidList[i]);
    }
    out = HeadSigned(U(rid), uid, sid, false) +
          Format("&rid=%d&type=%d&tidlist=%s&gid=%d&cnt=%d", rid, type, list.c_str(), gid, cnt);
    return 1;
}

ZQ_DEFINE_MSG_FACTORY_UNIT(CZQSendTagMsg)
CZQSendTagMsg::CZQSendTagMsg() { ZQ_INIT(17, "sendtag") }
int CZQSendTagMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, false) + Format("&rid=%d&tid=%d&tagid=%d", rid, tid, tagid);
    return 1;
}

ZQ_DEFINE_MSG_FACTORY_UNIT(CZQSendTmpNoticeMsg)
CZQSendTmpNoticeMsg::CZQSendTmpNoticeMsg() { ZQ_INIT(34, "sendtmpnotice") }
int CZQSendTmpNoticeMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(ctxInt[0]), uid, sid, false) +
          Format("&rid=%u&word=%s", U(ctxInt[0]), Enc(word, 1024).c_str());
    return 1;
}

ZQ_DEFINE_MSG_FACTORY_UNIT(CZQSysNotifyMsg)
CZQSysNotifyMsg::CZQSysNotifyMsg() { ZQ_INIT(38, "notify") }
int CZQSysNotifyMsg::BuildSendString(std::string& out) {
    out.clear();
    return 1;
}

// ---- updates ----
ZQ_DEFINE_MSG_FACTORY_UNIT(CZQUpdateMyInfoMsg)
CZQUpdateMyInfoMsg::CZQUpdateMyInfoMsg() { ZQ_INIT(4, "updatemyinfo") }
int CZQUpdateMyInfoMsg::BuildSendString(std::string& out) {
    std::string q = HeadPlainUser(uid, sid) + Format("&tid=%d", tid);
    if (!nickname.empty()) q = Format("%s&nickname=%s", q.c_str(), Enc(nickname, 250).c_str());
    if (photoid > 0) q = Format("%s&photoid=%d", q.c_str(), photoid);
    if (sex != 3) q = Format("%s&sex=%d", q.c_str(), sex);
    if (!prov.empty()) q = Format("%s&prov=%s", q.c_str(), Enc(prov, 250).c_str());
    if (!city.empty()) q = Format("%s&city=%s", q.c_str(), Enc(city, 250).c_str());
    if (!birth.empty()) q = Format("%s&birth=%s", q.c_str(), Enc(birth, 250).c_str());
    out = q;
    return 1;
}

ZQ_DEFINE_MSG_FACTORY_UNIT(CZQUpdateRoomInfoMsg)
CZQUpdateRoomInfoMsg::CZQUpdateRoomInfoMsg() { ZQ_INIT(13, "updateroominfo") }
int CZQUpdateRoomInfoMsg::BuildSendString(std::string& out) {
    std::string q = HeadSigned(U(rid), uid, sid, false) + Format("&rid=%d", rid);
    if (!name.empty()) q += Format("&name=%s", Enc(name, 250).c_str());
    if (logo != 0) q += Format("&logo=%d", logo);
    q += Format("&pwd=%s", Enc(pwd, 250).c_str());
    if (maxcnt != 0) q += Format("&maxcnt=%d", maxcnt);
    for (int i = 0; i < 5; ++i) q += Format("&msg%d=%s", i + 1, Enc(msg[i], 2048).c_str());
    out = q;
    return 1;
}

ZQ_DEFINE_MSG_FACTORY_UNIT(CZQUpdateWelWord)
CZQUpdateWelWord::CZQUpdateWelWord() { ZQ_INIT(37, "updatewelword") }
int CZQUpdateWelWord::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, false) +
          Format("&rid=%d&type=%d&word=%s", rid, type, Enc(word, 2048).c_str());
    return 1;
}
