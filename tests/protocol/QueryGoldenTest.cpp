// Golden query strings of every command, with a fixed clock, counter, MAC and keys.
#include <functional>
#include <map>
#include <memory>

#include <gtest/gtest.h>

#include "ProtocolTestEnv.h"
#include "ZQCommands.h"

namespace {

const char kWord[] = "a&b=c 中";
constexpr int kRoom = 3003;
constexpr int kTarget = 4004;

template <typename T>
std::unique_ptr<CZQMessage> Make(const std::function<void(T&)>& fill) {
    auto m = std::make_unique<T>();
    fill(*m);
    return m;
}

#define USER(m) (m).uid = 1001, (m).sid = 2002

std::map<std::string, std::function<std::unique_ptr<CZQMessage>()>> Builders() {
    std::map<std::string, std::function<std::unique_ptr<CZQMessage>()>> b;
    b["broadcast"] = [] {
        return Make<CZQBroadCastMsg>([](auto& m) {
            USER(m);
            m.ctxInt[0] = kRoom;
            m.word = kWord;
        });
    };
    b["checknick"] = [] {
        return Make<CZQCheckNickMsg>([](auto& m) {
            USER(m);
            m.nickname = kWord;
        });
    };
    b["enterroom"] = [] {
        return Make<CZQEnterRoomMsg>([](auto& m) {
            USER(m);
            m.ctxInt[0] = kRoom;
            m.pwd = "p&w#1";
            m.hide = 1;
        });
    };
    b["exitroom"] = [] {
        return Make<CZQExitRoomMsg>([](auto& m) {
            USER(m);
            m.rid = kRoom;
            m.chatid = "chat_9";
        });
    };
    b["getallnav"] = [] { return Make<CZQGetAllNavMsg>([](auto&) {}); };
    b["getanonyuser"] = [] { return Make<CZQGetAnonyUserMsg>([](auto&) {}); };
    b["getcatelist"] = [] { return Make<CZQGetCateListMsg>([](auto&) {}); };
    b["getchatsig"] = [] {
        return Make<CZQGetChatSigMsg>([](auto& m) {
            USER(m);
            m.ctxInt[0] = kRoom;
            m.chatid = "chat_9";
        });
    };
    b["getlivesig"] = [] {
        return Make<CZQGetLiveSigMsg>([](auto& m) {
            USER(m);
            m.ctxInt[0] = kRoom;
            m.ctxInt[1] = kTarget;
            m.ctxText[0] = "listen";
        });
    };
    b["getmicinfo"] = [] {
        return Make<CZQGetMicInfoMsg>([](auto& m) {
            USER(m);
            m.rid = kRoom;
            m.pwd = "p w";
        });
    };
    b["getmic"] = [] {
        return Make<CZQGetMicMsg>([](auto& m) {
            USER(m);
            m.rid = kRoom;
            m.tid = kTarget;
        });
    };
    b["getmyinfo"] = [] {
        return Make<CZQGetMyInfoMsg>([](auto& m) {
            m.user.uid = 1001;
            m.user.sid = 2002;
            m.user.name = "me&you";
        });
    };
    b["getroominfo"] = [] {
        return Make<CZQGetRoomInfoMsg>([](auto& m) {
            USER(m);
            m.rid = kRoom;
        });
    };
    b["getroomuser"] = [] {
        return Make<CZQGetRoomUserMsg>([](auto& m) {
            USER(m);
            m.rid = kRoom;
        });
    };
    b["getuserinfo"] = [] {
        return Make<CZQGetUserInfoMsg>([](auto& m) {
            USER(m);
            m.tid = kTarget;
        });
    };
    b["getuserloc"] = [] {
        return Make<CZQGetUserLocMsg>([](auto& m) {
            USER(m);
            m.rid = kRoom;
            m.tid = kTarget;
        });
    };
    b["heartbeat"] = [] {
        return Make<CZQHeartBeatMsg>([](auto& m) {
            USER(m);
            m.rid = kRoom;
            m.chatid = "chat_9";
            m.msgcnt = 12;
        });
    };
    b["kickroom"] = [] {
        return Make<CZQKickRoomMsg>([](auto& m) {
            USER(m);
            m.rid = kRoom;
            m.tid = kTarget;
        });
    };
    b["login"] = [] {
        return Make<CZQLogInMsg>([](auto& m) {
            m.user.name = "user 1";
            m.pwd = "p&=x";
        });
    };
    b["logout"] = [] {
        return Make<CZQLogOutMsg>([](auto& m) {
            USER(m);
            m.ctxInt[0] = 1001;
        });
    };
    b["opfavroom"] = [] {
        return Make<CZQOpFavRoomMsg>([](auto& m) {
            USER(m);
            m.rid = kRoom;
            m.optype = 1;
        });
    };
    b["opmicattr"] = [] {
        return Make<CZQOpMicAttrMsg>([](auto& m) {
            USER(m);
            m.ctxInt[0] = kRoom;
            m.ctxInt[1] = kTarget;
        });
    };
    b["opmic"] = [] {
        return Make<CZQOpMicMsg>([](auto& m) {
            USER(m);
            m.rid = kRoom;
            m.tid = kTarget;
            m.optype = 1;
            m.mictype = 0;
        });
    };
    b["oproomblackuser"] = [] {
        return Make<CZQOpRoomBlackUserMsg>([](auto& m) {
            USER(m);
            m.rid = kRoom;
            m.tid = kTarget;
        });
    };
    b["oproomuserchat"] = [] {
        return Make<CZQOpRoomUserChatMsg>([](auto& m) {
            USER(m);
            m.rid = kRoom;
            m.tid = kTarget;
            m.optype = 2;
        });
    };
    b["oproomuserrole"] = [] {
        return Make<CZQOpRoomUserRoleMsg>([](auto& m) {
            USER(m);
            m.rid = kRoom;
            m.tid = kTarget;
            m.optype = 1;
            m.roletype = 3;
        });
    };
    b["sendcolorbar"] = [] {
        return Make<CZQSendColorBarMsg>([](auto& m) {
            USER(m);
            m.rid = kRoom;
            m.tid = kTarget;
            m.cid = 7;
        });
    };
    b["sendgift"] = [] {
        return Make<CZQSendGiftMsg>([](auto& m) {
            USER(m);
            m.rid = kRoom;
            m.tid = kTarget;
            m.gid = 21012;
            m.cnt = 5;
            m.word = kWord;
        });
    };
    b["sendmultigift"] = [] {
        return Make<CZQSendMultiGiftMsg>([](auto& m) {
            USER(m);
            m.rid = kRoom;
            m.tidList = {7, 9, 12};
            m.gid = 3;
            m.cnt = 1;
        });
    };
    b["sendtag"] = [] {
        return Make<CZQSendTagMsg>([](auto& m) {
            USER(m);
            m.rid = kRoom;
            m.tid = kTarget;
            m.tagid = 8;
        });
    };
    b["sendtmpnotice"] = [] {
        return Make<CZQSendTmpNoticeMsg>([](auto& m) {
            USER(m);
            m.ctxInt[0] = kRoom;
            m.word = kWord;
        });
    };
    b["updatemyinfo"] = [] {
        return Make<CZQUpdateMyInfoMsg>([](auto& m) {
            USER(m);
            m.tid = 1001;
            m.nickname = kWord;
        });
    };
    b["updateroominfo"] = [] {
        return Make<CZQUpdateRoomInfoMsg>([](auto& m) {
            USER(m);
            m.rid = kRoom;
        });
    };
    b["updatewelword"] = [] {
        return Make<CZQUpdateWelWord>([](auto& m) {
            USER(m);
            m.rid = kRoom;
            m.word = kWord;
        });
    };
    b["negroom"] = [] {
        return Make<CZQKickRoomMsg>([](auto& m) {
            USER(m);
            m.rid = -5;
            m.tid = kTarget;
        });
    };
    return b;
}

// Expected queries, computed independently from the wire format (MD5 of the token text, GBK escapes).
const std::map<std::string, std::string> kGolden = {
    {"broadcast",
     "src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token=ce0e61def78322c585a9754a57b9b237&cmd=broadcast&uid="
     "1001&sid=2002&rid=3003&word=a%26b%3Dc%20%D6%D0"},
    {"checknick", "src=Varnet&ver=1.0.0.1&cmd=checknick&uid=1001&sid=2002&nickname=a%26b%3Dc%20%D6%D0"},
    {"enterroom",
     "FromID=web_7&ClientID=CID-42&src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token="
     "ce0e61def78322c585a9754a57b9b237&cmd=enterroom&uid=1001&sid=2002&rid=3003&pwd=p%26w%231&camera=1&hide=1"},
    {"exitroom",
     "src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token=ce0e61def78322c585a9754a57b9b237&cmd=exitroom&uid="
     "1001&sid=2002&chatid=chat_9&rid=3003"},
    {"getallnav", "src=Varnet&ver=1.0.0.1&cmd=getallnav"},
    {"getanonyuser", "FromID=web_7&ClientID=CID-42&src=Varnet&ver=1.0.0.1&cmd=getanonyuser"},
    {"getcatelist", "src=Varnet&ver=1.0.0.1&cmd=getcatelist"},
    {"getchatsig",
     "FromID=web_7&ClientID=CID-42&src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token="
     "ce0e61def78322c585a9754a57b9b237&cmd=getchatsig&uid=1001&sid=2002&rid=3003&chatid=chat_9"},
    {"getlivesig",
     "src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token=ce0e61def78322c585a9754a57b9b237&cmd=getlivesig&uid="
     "1001&sid=2002&rid=3003&tid=4004&op=listen"},
    {"getmicinfo",
     "FromID=web_7&ClientID=CID-42&src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token="
     "ce0e61def78322c585a9754a57b9b237&cmd=getmicinfo&uid=1001&sid=2002&rid=3003&pwd=p%20w"},
    {"getmic",
     "src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token=ce0e61def78322c585a9754a57b9b237&cmd=getmic&uid="
     "1001&sid=2002&rid=3003&tid=4004"},
    {"getmyinfo",
     "FromID=web_7&ClientID=CID-42&src=Varnet&ver=1.0.0.1&cmd=getmyinfo&uid=1001&sid=2002&name=me%26you&type=2"},
    {"getroominfo", "src=Varnet&ver=1.0.0.1&cmd=getroominfo&uid=1001&sid=2002&rid=3003"},
    {"getroomuser",
     "src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token=ce0e61def78322c585a9754a57b9b237&cmd=getroomuser&"
     "uid=1001&sid=2002&rid=3003"},
    {"getuserinfo", "src=Varnet&ver=1.0.0.1&cmd=getuserinfo&uid=1001&sid=2002&tid=4004"},
    {"getuserloc",
     "src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token=ce0e61def78322c585a9754a57b9b237&cmd=getuserloc&uid="
     "1001&sid=2002&tid=4004&rid=3003"},
    {"heartbeat",
     "FromID=web_7&ClientID=CID-42&src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token="
     "ce0e61def78322c585a9754a57b9b237&cmd=heartbeat&uid=1001&sid=2002&rid=3003&chatid=chat_9&msgcnt=12"},
    {"kickroom",
     "src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token=ce0e61def78322c585a9754a57b9b237&cmd=kickroom&uid="
     "1001&sid=2002&rid=3003&tid=4004"},
    {"login", "FromID=web_7&ClientID=CID-42&src=Varnet&ver=1.0.0.1&cmd=login&name=user%201&pwd=p%26%3Dx"},
    {"logout",
     "FromID=web_7&ClientID=CID-42&src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token="
     "9e7606f41460dd30f832a9ab462d2660&cmd=logout&uid=1001&sid=2002"},
    {"opfavroom", "src=Varnet&ver=1.0.0.1&cmd=opfavroom&uid=1001&sid=2002&optype=1&rid=3003"},
    {"opmicattr",
     "src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token=ce0e61def78322c585a9754a57b9b237&cmd=opmicattr&uid="
     "1001&sid=2002&rid=3003&tid=4004&optype=-1&attr=-1"},
    {"opmic",
     "src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token=ce0e61def78322c585a9754a57b9b237&cmd=opmic&uid=1001&"
     "sid=2002&rid=3003&tid=4004&optype=1&mictype=0"},
    {"oproomblackuser",
     "src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token=ce0e61def78322c585a9754a57b9b237&cmd="
     "oproomblackuser&uid=1001&sid=2002&rid=3003&tid=4004&optype=-1"},
    {"oproomuserchat",
     "src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token=ce0e61def78322c585a9754a57b9b237&cmd=oproomuserchat&"
     "uid=1001&sid=2002&rid=3003&tid=4004&optype=2"},
    {"oproomuserrole",
     "src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token=ce0e61def78322c585a9754a57b9b237&cmd=oproomuserrole&"
     "uid=1001&sid=2002&rid=3003&tid=4004&optype=1&roletype=3"},
    {"sendcolorbar",
     "src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token=ce0e61def78322c585a9754a57b9b237&cmd=sendcolorbar&"
     "uid=1001&sid=2002&rid=3003&tid=4004&cid=7"},
    {"sendgift",
     "src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token=ce0e61def78322c585a9754a57b9b237&cmd=sendgift&uid="
     "1001&sid=2002&rid=3003&tid=4004&gid=21012&cnt=5&word=a%26b%3Dc%20%D6%D0"},
    {"sendmultigift",
     "src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token=ce0e61def78322c585a9754a57b9b237&cmd=sendmultigift&"
     "uid=1001&sid=2002&rid=3003&type=5&tidlist=7,9,12&gid=3&cnt=1"},
    {"sendtag",
     "src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token=ce0e61def78322c585a9754a57b9b237&cmd=sendtag&uid="
     "1001&sid=2002&rid=3003&tid=4004&tagid=8"},
    {"sendtmpnotice",
     "src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token=ce0e61def78322c585a9754a57b9b237&cmd=sendtmpnotice&"
     "uid=1001&sid=2002&rid=3003&word=a%26b%3Dc%20%D6%D0"},
    {"updatemyinfo",
     "src=Varnet&ver=1.0.0.1&cmd=updatemyinfo&uid=1001&sid=2002&tid=1001&nickname=a%26b%3Dc%20%D6%D0&sex=0"},
    {"updateroominfo",
     "src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token=ce0e61def78322c585a9754a57b9b237&cmd=updateroominfo&"
     "uid=1001&sid=2002&rid=3003&pwd=&msg1=&msg2=&msg3=&msg4=&msg5="},
    {"updatewelword",
     "src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token=ce0e61def78322c585a9754a57b9b237&cmd=updatewelword&"
     "uid=1001&sid=2002&rid=3003&type=1&word=a%26b%3Dc%20%D6%D0"},
    {"negroom",
     "src=Varnet&ver=1.0.0.1&mac=00A0C9123456&tm=17000000007&token=2098fc505e3c294e1de5b4c7030df500&cmd=kickroom&uid="
     "1001&sid=2002&rid=-5&tid=4004"},
};

class QueryGolden : public ::testing::Test {
protected:
    void SetUp() override { prototest::SetUpOnce(); }
};

TEST_F(QueryGolden, EveryCommandBuildsItsQuery) {
    auto builders = Builders();
    ASSERT_EQ(builders.size(), kGolden.size());
    for (const auto& [name, expected] : kGolden) {
        SCOPED_TRACE(name);
        CGlobalDataApp::GetInstance().SetRequestCounter(7);
        auto msg = builders.at(name)();
        std::string q;
        EXPECT_EQ(msg->BuildSendString(q), 1);
        EXPECT_EQ(q, expected);
    }
}

TEST_F(QueryGolden, NotifyAndEmptyMultiGiftBuildNoQuery) {
    CZQSysNotifyMsg notify;
    std::string q = "x";
    EXPECT_EQ(notify.BuildSendString(q), 1);
    EXPECT_TRUE(q.empty());
    CZQSendMultiGiftMsg gift;
    q.clear();
    EXPECT_EQ(gift.BuildSendString(q), 0);
    EXPECT_TRUE(q.empty());
}

TEST_F(QueryGolden, CameraFlagFollowsTheCount) {
    struct Row {
        int (*count)();
        const char* flag;
    };
    const Row rows[] = {
        {[] { return 2; }, "camera=1"}, {[] { return 0; }, "camera=0"}, {[] { return -1; }, "camera=0"}};
    for (const Row& r : rows) {
        SetCameraCountProvider(r.count);
        CZQEnterRoomMsg m;
        std::string q;
        m.BuildSendString(q);
        EXPECT_NE(q.find(r.flag), std::string::npos) << q;
    }
    SetCameraCountProvider(&prototest::FixedCameraCount);
}

TEST_F(QueryGolden, TwoSignedRequestsNeverShareTm) {
    CGlobalDataApp::GetInstance().SetRequestCounter(100);
    CZQKickRoomMsg a, b;
    std::string qa, qb;
    a.BuildSendString(qa);
    b.BuildSendString(qb);
    EXPECT_NE(qa.find("tm=1700000000100&"), std::string::npos) << qa;
    EXPECT_NE(qb.find("tm=1700000000101&"), std::string::npos) << qb;
}

TEST_F(QueryGolden, EncodedTextsAreCutOnWholeEscapes) {
    CZQCheckNickMsg m;
    m.nickname = std::string(100, 'a') + std::string(60, '&');  // 100 + 180 encoded bytes
    std::string q;
    m.BuildSendString(q);
    std::string value = q.substr(q.find("nickname=") + 9);
    EXPECT_LE(value.size(), 249u);
    EXPECT_EQ((value.size() - 100) % 3, 0u) << value;
}

TEST_F(QueryGolden, UpdateMyInfoOptionalParameters) {
    CZQUpdateMyInfoMsg m;
    m.sex = 3;
    m.photoid = 12;
    m.prov = "x y";
    std::string q;
    m.BuildSendString(q);
    EXPECT_EQ(q.substr(q.find("&tid=")), "&tid=0&photoid=12&prov=x%20y");
}

}  // namespace
