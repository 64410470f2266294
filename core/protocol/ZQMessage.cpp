#include "ZQMessage.h"

#include <new>
#include <vector>

#include "GlobalData.h"
#include "JsonSafe.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqModConfig.h"

std::atomic<int> CZQMessage::s_sequence{1};
CZQMessage* CZQMessage::MsgFactoryUnit::Create() {
    return new (std::nothrow) CZQMessage();
}
CZQMessage::MsgFactoryUnit CZQMessage::s_factoryUnit;

int CZQMessage::NextSequence() {
    int v = s_sequence.load();
    for (;;) {
        int take = v > 2147483632 ? 1 : v;
        if (s_sequence.compare_exchange_weak(v, take + 1)) return take;
    }
}

void CZQMessage::SetSequenceCounter(int next) {
    s_sequence.store(next);
}

const char* CZQMessage::ParseFailureText() {
    return "消息字符串解析失败，请查看网络是否正常或者服务器是否开起!";
}

CZQMessage::CZQMessage() : src("Varnet"), classTag("ZQ_Message") {
    AfxGetConfigManager()->GetString("config", "version", ver, "");
    seq = NextSequence();
}

CZQMessage::~CZQMessage() = default;

int CZQMessage::BuildSendString(std::string& out) {
    out = HeadPlain();
    return 1;
}

int CZQMessage::Parse(const char* text, int len) {
    Json::Value root;
    bool ok = len > 0 && JsonSafe::Parse(text, static_cast<size_t>(len), root);
    return ParseValue(ok, root);
}

int CZQMessage::ParseValue(bool ok, const Json::Value& root) {
    if (ok) {
        JsonSafe::ReadString(root, "cmd", cmd);
        JsonSafe::ReadInt(root, "status", status);
        JsonSafe::ReadUInt(root, "systm", systm);
        JsonSafe::ReadDecoded(root, "statusdesc", 250, statusdesc);
        try {
            ReadOwn(root);
        } catch (...) {
            // Readers never throw; an allocation failure on a huge reply lands here.
            status = 2;
            statusdesc = ParseFailureText();
        }
    } else {
        status = 2;
        systm = 0;
        statusdesc = ParseFailureText();
    }
    return IsCommand() ? 1 : 0;
}

void CZQMessage::ReadOwn(const Json::Value&) {}

CZQMessage* CZQMessage::Clone() {
    CZQMessage* m = new (std::nothrow) CZQMessage();
    if (m) m->CopyBase(*this);
    return m;
}

void CZQMessage::CopyBase(const CZQMessage& o) {
    if (this == &o) return;
    typeId = o.typeId;
    src = o.src;
    ver = o.ver;
    ctxInt[0] = o.ctxInt[0];
    ctxInt[1] = o.ctxInt[1];
    cmd = o.cmd;
    status = o.status;
    statusdesc = o.statusdesc;
    systm = o.systm;
    classTag = o.classTag;
    spare = o.spare;
}

std::string CZQMessage::HeadPlain() const {
    return StringUtility::Format("src=%s&ver=%s&cmd=%s", src.c_str(), ver.c_str(), cmd.c_str());
}

std::string CZQMessage::HeadPlainUser(uint32_t uid, uint32_t sid) const {
    return StringUtility::Format("src=%s&ver=%s&cmd=%s&uid=%u&sid=%u", src.c_str(), ver.c_str(), cmd.c_str(), uid, sid);
}

static std::string PrefixPart() {
    std::string fromId;
    AfxGetConfigManager()->GetString("config", "FromID", fromId);
    char clientId[64] = {0};
    ClientID::GetClientID(clientId, sizeof clientId);
    clientId[sizeof clientId - 1] = 0;
    return StringUtility::Format("FromID=%s&ClientID=%s&", fromId.c_str(), clientId);
}

std::string CZQMessage::HeadPrefixed() const {
    return PrefixPart() + HeadPlain();
}

std::string CZQMessage::HeadSigned(uint32_t tokenRoom, uint32_t uid, uint32_t sid, bool prefixed) const {
    std::string tm, mac, token;
    CGlobalDataApp::GetInstance().MakeRequestToken(tm, tokenRoom, mac, token);
    std::string head =
        StringUtility::Format("src=%s&ver=%s&mac=%s&tm=%s&token=%s&cmd=%s&uid=%u&sid=%u", src.c_str(), ver.c_str(),
                              mac.c_str(), tm.c_str(), token.c_str(), cmd.c_str(), uid, sid);
    return prefixed ? PrefixPart() + head : head;
}

std::string CZQMessage::Enc(const std::string& text, size_t size) {
    std::vector<char> buf(size, 0);
    UrlEncode::EncodeEx(text.c_str(), buf.data(), static_cast<int>(size), 0);
    buf[size - 1] = 0;
    return std::string(buf.data());
}

std::string CZQMessage::EncAll(const std::string& text) {
    return UrlEncode::Encode(text);
}
