// The web side's bean-to-coin exchange and the notices the service's answers cause.
#include "RoomService.h"

#include "ZqLib.h"

namespace testenv {

namespace {
constexpr const char* kExchangeSalt = "rilm@2009@plank@sea";

Json::Value Answer(bool ok, const char* msg) {
    Json::Value v(Json::objectValue);
    v["success"] = ok;
    v["msg"] = UrlEnc(msg);
    return v;
}
}  // namespace

void RoomService::SetNoticeSink(std::function<void(int, const std::string&, const std::string&)> sink) {
    std::lock_guard<std::recursive_mutex> g(dataLock_);
    noticeSink_ = std::move(sink);
}

void RoomService::PushNotice(int rid, const std::string& cmd, const std::string& body) {
    if (noticeSink_) noticeSink_(rid, cmd, body);
}

// shell (beans), tm, sig = MD5("%u%u%s", tm, uid, salt), uid. One bean buys one coin.
Json::Value RoomService::OnExchange(const Params& p) {
    {
        varnet::MutexLock g(controlLock_);
        queries_["exchangeZebin"].push_back(ParamS(p, "shell") + "&" + ParamS(p, "uid"));
        ++total_;
    }
    uint32_t uid = ParamU(p, "uid");
    std::string expect = Entrypt::GenerateMD5(
        StringUtility::Format("%u%u%s", static_cast<uint32_t>(ParamI(p, "tm")), uid, kExchangeSalt));
    if (ParamS(p, "sig") != expect) return Answer(false, "签名错误");
    auto it = data_.users.find(uid);
    if (it == data_.users.end() || it->second.sid == 0) return Answer(false, "用户不存在");
    SvcUser& u = it->second;
    const std::string shellText = ParamS(p, "shell");
    uint64_t shell = std::strtoull(shellText.c_str(), nullptr, 10);
    if (shell < 1000) return Answer(false, "Z豆数小于1000");
    if (shell > u.zebin) return Answer(false, "Z豆不足");
    u.zebin -= shell;
    u.xiubi += shell;
    ++u.zebinver;
    ++u.xiubiver;
    // The rooms the user is in learn the new balances.
    std::string info = StringUtility::Format("id=%u\nxiubi=%llu\nxiubiver=%u\nzebin=%llu\nzebinver=%u\n", u.uid,
                                             static_cast<unsigned long long>(u.xiubi), u.xiubiver,
                                             static_cast<unsigned long long>(u.zebin), u.zebinver);
    for (const auto& room : data_.rooms)
        if (room.second.users.count(uid)) PushNotice(room.first, "notifyuserinfo", info);
    Json::Value v = Answer(true, "兑换成功");
    v["coin"] = static_cast<double>(u.xiubi);
    v["shell"] = static_cast<double>(u.zebin);
    return v;
}

}  // namespace testenv
