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
int NoCameraCount() {
    return 0;
}
std::atomic<CameraCountFn> g_cameraCount{&NoCameraCount};
}  // namespace

void SetCameraCountProvider(CameraCountFn fn) {
    g_cameraCount.store(fn ? fn : &NoCameraCount);
}
int CameraCountForQuery() {
    return g_cameraCount.load()();
}

// A clone that carries only the base copy set.
#define ZQ_CLONE_BASE(Class)                   \
    CZQMessage* Class::Clone() {               \
        Class* m = new (std::nothrow) Class(); \
        if (m) m->CopyBase(*this);             \
        return m;                              \
    }

// ---- broadcast ----
int CZQBroadCastMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(ctxInt[0]), uid, sid, false) + Format("&rid=%d&word=%s", ctxInt[0], Enc(word, 1024).c_str());
    return 1;
}

// ---- checknick ----
int CZQCheckNickMsg::BuildSendString(std::string& out) {
    out = HeadPlainUser(uid, sid) + Format("&nickname=%s", Enc(nickname, 250).c_str());
    return 1;
}
CZQMessage* CZQCheckNickMsg::Clone() {
    return new (std::nothrow) CZQCheckNickMsg();
}

// ---- enterroom ----
int CZQEnterRoomMsg::BuildSendString(std::string& out) {
    unsigned camera = CameraCountForQuery() > 0 ? 1 : 0;
    out = HeadSigned(U(ctxInt[0]), uid, sid, true) + Format("&rid=%u&pwd=%s&camera=%u&hide=%d", U(ctxInt[0]),
                                                            Enc(pwd, 250).c_str(), camera, static_cast<int>(hide));
    return 1;
}

// ---- exitroom ----
int CZQExitRoomMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, false) + Format("&chatid=%s&rid=%d", EncAll(chatid).c_str(), rid);
    return 1;
}

// ---- getallnav, getanonyuser, getcatelist ----
int CZQGetAllNavMsg::BuildSendString(std::string& out) {
    out = HeadPlain();
    return 1;
}

int CZQGetAnonyUserMsg::BuildSendString(std::string& out) {
    out = HeadPrefixed();
    return 1;
}

int CZQGetCateListMsg::BuildSendString(std::string& out) {
    out = HeadPlain();
    return 1;
}

// ---- getchatsig ----
int CZQGetChatSigMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(ctxInt[0]), uid, sid, true) + Format("&rid=%u&chatid=%s", U(ctxInt[0]), EncAll(chatid).c_str());
    return 1;
}

// ---- getlivesig ----
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
int CZQGetMicInfoMsg::BuildSendString(std::string& out) {
    out = HeadSigned(rid, uid, sid, true) + Format("&rid=%u&pwd=%s", rid, Enc(pwd, 250).c_str());
    return 1;
}

int CZQGetMicMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, false) + Format("&rid=%d&tid=%d", rid, tid);
    return 1;
}
ZQ_CLONE_BASE(CZQGetMicMsg)

// ---- getmyinfo, getroominfo, getroomuser, getuserinfo, getuserloc ----
int CZQGetMyInfoMsg::BuildSendString(std::string& out) {
    out = HeadPrefixed() +
          Format("&uid=%u&sid=%u&name=%s&type=%d", user.uid, user.sid, Enc(user.name, 250).c_str(), type);
    return 1;
}

int CZQGetRoomInfoMsg::BuildSendString(std::string& out) {
    out = HeadPlainUser(uid, sid) + Format("&rid=%d", rid);
    return 1;
}

int CZQGetRoomUserMsg::BuildSendString(std::string& out) {
    out = HeadSigned(rid, uid, sid, false) + Format("&rid=%u", rid);
    return 1;
}

int CZQGetUserInfoMsg::BuildSendString(std::string& out) {
    out = HeadPlainUser(uid, sid) + Format("&tid=%d", tid);
    return 1;
}

int CZQGetUserLocMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, false) + Format("&tid=%d&rid=%d", tid, rid);
    return 1;
}
ZQ_CLONE_BASE(CZQGetUserLocMsg)

// ---- heartbeat ----
int CZQHeartBeatMsg::BuildSendString(std::string& out) {
    out =
        HeadSigned(U(rid), uid, sid, true) + Format("&rid=%d&chatid=%s&msgcnt=%d", rid, EncAll(chatid).c_str(), msgcnt);
    return 1;
}

// ---- kickroom ----
int CZQKickRoomMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, false) + Format("&rid=%d&tid=%d", rid, tid);
    return 1;
}
ZQ_CLONE_BASE(CZQKickRoomMsg)

// ---- login, logout ----
CZQLogInMsg::CZQLogInMsg() {
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

int CZQLogOutMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(ctxInt[0]), uid, sid, true);
    return 1;
}
ZQ_CLONE_BASE(CZQLogOutMsg)

// ---- opfavroom, opmicattr, opmic ----
int CZQOpFavRoomMsg::BuildSendString(std::string& out) {
    out = HeadPlainUser(uid, sid) + Format("&optype=%d&rid=%d", optype, rid);
    return 1;
}

int CZQOpMicAttrMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(ctxInt[0]), uid, sid, false) +
          Format("&rid=%d&tid=%d&optype=%d&attr=%d", ctxInt[0], ctxInt[1], optype, attr);
    return 1;
}
ZQ_CLONE_BASE(CZQOpMicAttrMsg)

int CZQOpMicMsg::BuildSendString(std::string& out) {
    ctxText[0] = Format("%d|%d|%d|%d", static_cast<int>(uid), tid, optype, mictype);
    out =
        HeadSigned(U(rid), uid, sid, false) + Format("&rid=%d&tid=%d&optype=%d&mictype=%d", rid, tid, optype, mictype);
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
int CZQOpRoomBlackUserMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, false) + Format("&rid=%d&tid=%d&optype=%d", rid, tid, optype);
    return 1;
}
ZQ_CLONE_BASE(CZQOpRoomBlackUserMsg)

int CZQOpRoomUserChatMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, false) + Format("&rid=%d&tid=%d&optype=%d", rid, tid, optype);
    return 1;
}
ZQ_CLONE_BASE(CZQOpRoomUserChatMsg)

int CZQOpRoomUserRoleMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, false) +
          Format("&rid=%d&tid=%d&optype=%d&roletype=%d", rid, tid, optype, roletype);
    return 1;
}
ZQ_CLONE_BASE(CZQOpRoomUserRoleMsg)

// ---- gifts, tags, colour bars, notices ----
int CZQSendColorBarMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, false) + Format("&rid=%d&tid=%d&cid=%u", rid, tid, cid);
    return 1;
}

int CZQSendGiftMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, false) +
          Format("&rid=%d&tid=%d&gid=%d&cnt=%d&word=%s", rid, tid, gid, cnt, Enc(word, 512).c_str());
    return 1;
}

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

int CZQSendTagMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, false) + Format("&rid=%d&tid=%d&tagid=%d", rid, tid, tagid);
    return 1;
}

int CZQSendTmpNoticeMsg::BuildSendString(std::string& out) {
    out = HeadSigned(U(ctxInt[0]), uid, sid, false) + Format("&rid=%u&word=%s", U(ctxInt[0]), Enc(word, 1024).c_str());
    return 1;
}

int CZQSysNotifyMsg::BuildSendString(std::string& out) {
    out.clear();
    return 1;
}

// ---- updates ----
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

int CZQUpdateWelWord::BuildSendString(std::string& out) {
    out = HeadSigned(U(rid), uid, sid, false) + Format("&rid=%d&type=%d&word=%s", rid, type, Enc(word, 2048).c_str());
    return 1;
}
