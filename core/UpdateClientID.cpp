#include "UpdateClientID.h"

#include <cstring>

#include "MachineFingerprint.h"
#include "Win32Registry.h"
#include "ZqHttpRequestMgr.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqModConfig.h"

namespace {
const char kLog[] = "Speed.txt";
}

CUpdateClientID::CUpdateClientID(IConfigManager* config, IZqHttpRequestMgr* http)
    : m_netCardMac(fingerprint::GetNetCardMacAddress),
      m_diskSerial(fingerprint::GetDiskSerialText),
      m_adapterMac(fingerprint::GetAdapterMacAddress),
      m_config(config ? config : AfxGetConfigManager()),
      m_http(http ? http : AfxGetHttpRequestMgr()) {}

bool CUpdateClientID::CheckFirstStart() {
    bool started = false;
    if (m_config->GetBool("Global", "FirstStarted", started) && started) return true;
    m_config->SetBool("Global", "FirstStarted", true);
    m_config->SetUInt("Global", "FirstStartTime", static_cast<uint32_t>(m_now() / 3600));
    std::string src;
    m_config->GetString("Config", "InstallSrc", src, "");
    if (!src.empty()) {
        size_t cut = src.find_last_of("\\/");
        std::string name = cut == std::string::npos ? src : src.substr(cut + 1);
        name.resize(Charset::GbkSafeCut(name.data(), name.size(), 259));
        ClientID::SetInstallSRC(name);
    }
    return false;
}

bool CUpdateClientID::CheckApplyID() {
    uint32_t today = static_cast<uint32_t>(m_now() / 86400);
    uint32_t last = 0;
    m_config->GetUInt("UpdateID", "LastApplyIDDay", last, 0);
    if (!ClientID::GetClientID().empty()) {
        if (today != last) {
            m_config->SetUInt("UpdateID", "LastApplyIDDay", today);
            m_config->SetUInt("UpdateID", "AppIDTimesDaily", 1);
            PJ_Log(kLog, 0, "CheckApplyID", "Has ID, curDate != lastDate, return true");
            return true;
        }
        PJ_Log(kLog, 0, "CheckApplyID", "Has ID,curDate == lastDate return false");
        return false;
    }
    if (today != last) {
        m_config->SetUInt("UpdateID", "LastApplyIDDay", today);
        m_config->SetUInt("UpdateID", "AppIDTimesDaily", 0);
    }
    uint32_t times = 0, limit = 5;
    m_config->GetUInt("UpdateID", "AppIDTimesDaily", times, 0);
    m_config->GetUInt("UpdateSetting", "AppIDDailyLimit", limit, 5);
    if (times < limit) {
        m_config->SetUInt("UpdateID", "AppIDTimesDaily", times + 1);
        PJ_Log(kLog, 0, "CheckApplyID", "NO ID, timesToday < timesLimit, return true");
        return true;
    }
    PJ_Log(kLog, 0, "CheckApplyID", "NO ID, timesToday >= timesLimit, return false");
    return false;
}

bool CUpdateClientID::GetIDFromServer() {
    bool ok = ApplyIDFromServer();
    if (ok) WriteUninstallParam();
    PJ_Log(kLog, 0, "GetIDFromServer", ok ? "return true" : "return false");
    return ok;
}

std::string CUpdateClientID::BuildRequestText(bool versionWithPresence) {
    std::string id = ClientID::GetClientID();
    std::string ver;
    if (versionWithPresence) m_config->GetString("config", "version", ver);
    else m_config->GetString("config", "version", ver, "");
    char src[260] = {};
    ClientID::GetInstallSRC(src, sizeof(src));
    std::string text = "id=" + id + "&mac=" + m_netCardMac() + "&hd=" + m_diskSerial() + "&vmac=" + m_adapterMac() +
                       "&ver=" + ver + "&src=" + src;
    text.resize(Charset::GbkSafeCut(text.data(), text.size(), 1023));
    return text;
}

std::string CUpdateClientID::ParseReplyId(const char* reply, int len, const std::string& current) {
    if (!reply || len <= 0) return current;
    const char* end = reply + len;
    const char* eq = static_cast<const char*>(memchr(reply, '=', static_cast<size_t>(len)));
    if (!eq) return current;
    std::string id;
    for (const char* p = eq + 1; p < end && *p >= '0' && *p <= '9' && id.size() < 63; ++p) id += *p;
    return id;
}

bool CUpdateClientID::ApplyIDFromServer() {
    std::string plain = BuildRequestText(false);
    PJ_Log(kLog, 0, "UserReg", "Encryption in, src is %s.", plain.c_str());
    std::string encoded;
    PJ_Log(kLog, 0, "UserReg", "Encryption PJ_Base64Encode in.");
    int n = Base64::Base64Encode(encoded, plain.data(), static_cast<int>(plain.size()), kKey);
    PJ_Log(kLog, 0, "UserReg", "Encryption PJ_Base64Encode out.");
    if (n <= 0) encoded.clear();

    std::string base, url;
    if (m_config->GetString("ZqServerList", "RegSvr", base))
        url = StringUtility::Format("%s/regsvr.auth?%d&%s", base.c_str(), static_cast<int>(plain.size()),
                                    encoded.c_str());
    else url = StringUtility::Format("%s%d&%s", kDefaultRegUrl, static_cast<int>(plain.size()), encoded.c_str());

    std::string param = MakeHttpParam("CUpdateClientID::ApplyIDFromServer", 0);
    int reqId = 0, err = 0;
    if (!m_http->Request(url.c_str(), 0, "", param.c_str(), &reqId, &err, 0) || err != 0) {
        PJ_Log(kLog, 0, "UserReg", "Get ID Error!!");
        return false;
    }
    std::string id = ClientID::GetClientID();
    char buf[64] = {};
    int length = sizeof(buf);  // the layer keeps one byte for the terminator
    if (m_http->GetResult(reqId, buf, &length, &err) && err == 0 && length > 0)
        id = ParseReplyId(buf, std::min<int>(length, sizeof(buf) - 1), id);
    else PJ_Log(kLog, 0, "UserReg", "HTTP Request for Apply id error, No Result!");
    m_http->ReleaseRequest(reqId);
    if (atoll(id.c_str()) > 0) {
        ClientID::SetClientID(id);
        PJ_Log(kLog, 0, "UserReg", "Write New ID %s to File.", id.c_str());
    }
    return true;
}

bool CUpdateClientID::WriteUninstallParam() {
    std::string plain = BuildRequestText(true);
    std::string encoded;
    if (Base64::Base64Encode(encoded, plain.data(), static_cast<int>(plain.size()), kKey) <= 0) encoded.clear();
    std::string value = StringUtility::Format("%d&%s", static_cast<int>(plain.size()), encoded.c_str());
    return RegWriteString(HKEY_LOCAL_MACHINE, "SOFTWARE\\RAVEZUDU\\", "UNINST_PARAM", value);
}
