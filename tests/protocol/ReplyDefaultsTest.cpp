// Every command against replies that carry no usable value: missing keys, null, wrong JSON types, a root that
// is not an object, cut-off text. The reply keeps its class and every own field keeps its default.
#include <cstdint>
#include <sstream>

#include <gtest/gtest.h>

#include <json/writer.h>

#include "ProtocolTestEnv.h"
#include "ZQCommands.h"
#include "ZQMsgFactory.h"

namespace {

void Put(std::ostringstream& o, const RoomUserInfo& u) {
    o << u.uid << ',' << u.beautyid << ',' << u.nickname << ',' << u.level << ',' << u.photoid << ',' << u.hide << ','
      << u.chatid << ',' << u.role << ',' << u.camera << ',' << u.mic << ',' << u.mute << ',' << u.tagid << ';';
}

void Put(std::ostringstream& o, const LiveStreamInfo& s) {
    o << s.micattr << ',' << s.live << ',' << s.url << ',' << s.publish << ',' << s.idx << ';';
}

void Put(std::ostringstream& o, const MicUserMap& mics) {
    o << mics.size() << ':';
    for (const auto& [uid, m] : mics) {
        o << uid << '=';
        Put(o, m.stream);
        Put(o, m.user);
    }
}

void Put(std::ostringstream& o, const ChatServerInfo& c) {
    o << c.ip << ',' << c.port << ',' << c.tm << ',' << c.loginId << ',' << c.loginSig << ',' << c.joinId << ','
      << c.joinSig << ',' << c.chatname << ';';
}

void Put(std::ostringstream& o, const AccountReply& a) {
    o << a.uid << ',' << a.sid << ',' << a.beautyid << ',' << a.name << ',' << a.nickname << ',' << a.photoid << ','
      << a.level << ',' << a.sex << ',' << a.prov << ',' << a.city << ',' << a.birth << ',' << a.attr << ','
      << a.upgradeleft << ',' << a.xiubi << ',' << a.xiubiver << ',' << a.zebin << ',' << a.zebinver << ';';
}

void Put(std::ostringstream& o, const CCategoryInfo& c) {
    o << c.type << ',' << c.name << ',' << c.count << ',' << c.items.size() << ';';
}

void Put(std::ostringstream& o, const CoinReply& c) {
    o << c.xiubi << ',' << c.xiubiver << ';';
}

// The reply fields of a message as text, to compare a parsed reply with a default-constructed one.
std::string Own(CZQMessage* m) {
    std::ostringstream o;
    if (auto* x = dynamic_cast<CZQBroadCastMsg*>(m)) Put(o, x->coin);
    if (auto* x = dynamic_cast<CZQSendGiftMsg*>(m)) Put(o, x->coin);
    if (auto* x = dynamic_cast<CZQSendMultiGiftMsg*>(m)) Put(o, x->coin);
    if (auto* x = dynamic_cast<CZQSendTagMsg*>(m)) Put(o, x->coin);
    if (auto* x = dynamic_cast<CZQEnterRoomMsg*>(m)) {
        o << x->role << ',' << x->level << ',' << x->chatid << ',' << x->mute << ',' << x->fav << ',' << x->entershow
          << ',' << x->hide << ';';
        for (const auto& s : x->msg) o << s << ',';
        Put(o, x->micList);
        Put(o, x->chatServer);
        const auto& g = x->globalMsg;
        o << g.fname << ',' << g.tname << ',' << g.fbeautyid << ',' << g.tbeautyid << ',' << g.gid << ',' << g.cnt
          << ',' << g.tm << ',' << g.word << ',' << g.hide << ';' << x->giftHistory.size() << ','
          << x->welcomeWords.size();
    }
    if (auto* x = dynamic_cast<CZQGetAllNavMsg*>(m)) {
        o << x->onlinecnt << ':';
        for (const auto& c : x->categories) Put(o, c);
    }
    if (auto* x = dynamic_cast<CZQGetAnonyUserMsg*>(m)) o << x->uid << ',' << x->sid;
    if (auto* x = dynamic_cast<CZQGetCateListMsg*>(m)) {
        o << x->onlinecnt << ',' << x->officialName << ',' << x->officialCnt << ';';
        Put(o, x->category);
    }
    if (auto* x = dynamic_cast<CZQGetChatSigMsg*>(m)) Put(o, x->chatServer);
    if (auto* x = dynamic_cast<CZQGetLiveSigMsg*>(m))
        o << x->live << ',' << x->micattr << ',' << x->url << ',' << x->tm << ',' << x->md5 << ',' << x->idx << ','
          << x->ctxText[0];
    if (auto* x = dynamic_cast<CZQGetMicInfoMsg*>(m)) Put(o, x->micList);
    if (auto* x = dynamic_cast<CZQGetMicMsg*>(m)) {
        Put(o, x->user);
        Put(o, x->stream);
    }
    if (auto* x = dynamic_cast<CZQGetMyInfoMsg*>(m)) Put(o, x->user);
    if (auto* x = dynamic_cast<CZQLogInMsg*>(m)) Put(o, x->user);
    if (auto* x = dynamic_cast<CZQGetRoomInfoMsg*>(m)) {
        o << x->logo << ',' << x->pwd << ',' << x->name;
        for (const auto& s : x->msg) o << ',' << s;
    }
    if (auto* x = dynamic_cast<CZQGetRoomUserMsg*>(m)) o << x->users.size();
    if (auto* x = dynamic_cast<CZQGetUserInfoMsg*>(m))
        o << x->tid << ',' << x->photoid << ',' << x->beautyid << ',' << x->level << ',' << x->sex << ',' << x->name
          << ',' << x->nickname << ',' << x->prov << ',' << x->city << ',' << x->birth;
    if (auto* x = dynamic_cast<CZQGetUserLocMsg*>(m)) o << x->ip << ',' << x->loc;
    return o.str();
}

// A reply that names every key of every command, each leaf set to `leaf`. Lists are the leaf themselves.
Json::Value EveryKey(const Json::Value& leaf) {
    auto obj = [&](std::initializer_list<const char*> keys) {
        Json::Value v(Json::objectValue);
        for (const char* k : keys) v[k] = leaf;
        return v;
    };
    Json::Value user =
        obj({"uid", "sid", "beautyid", "name", "nickname", "photoid", "level", "sex", "prov", "city", "birth", "attr",
             "upgradeleft", "xiubi", "xiubiver", "zebin", "zebinver", "chatid", "role"});
    Json::Value live = obj({"type", "micattr", "url", "op", "tm", "md5", "idx"});
    Json::Value chatroom = obj({"ip", "port", "tm"});
    chatroom["channel"]["login"] = obj({"id", "sig", "chatname"});
    chatroom["channel"]["join"] = obj({"id", "sig"});
    Json::Value root = obj({"role",      "level", "chatid",    "mute", "fav",     "msg1",         "msg2",    "msg3",
                            "msg4",      "msg5",  "entershow", "hide", "miclist", "sendgiftlist", "wellist", "userlist",
                            "onlinecnt", "logo",  "pwd",       "name", "ip",      "loc"});
    root["user"] = user;
    root["live"] = live;
    root["chatroom"] = chatroom;
    root["globalmsg"] = obj({"fname", "tname", "gid", "cnt", "tm", "fbeautyid", "tbeautyid", "word", "hide"});
    root["mic"]["user"] = user;
    root["mic"]["live"] = live;
    root["officialobj"] = obj({"name", "cnt"});
    return root;
}

std::string Write(const Json::Value& v) {
    Json::StreamWriterBuilder b;
    b["indentation"] = "";
    return Json::writeString(b, v);
}

class ReplyDefaults : public ::testing::Test {
protected:
    void SetUp() override { prototest::SetUpOnce(); }
    static std::unique_ptr<CZQMessage> Build(const std::string& body) {
        return std::unique_ptr<CZQMessage>(
            CZQMsgFactory::BuildFromString(body.data(), CZQMsgFactory::GetRegistry(), static_cast<int>(body.size())));
    }
};

TEST_F(ReplyDefaults, UnusableValuesLeaveEveryFieldAtItsDefault) {
    Json::Value wrongObject(Json::objectValue);
    wrongObject["a"][0] = 1;
    // Lists take every element, so the wrong array is an empty one (elements are the fixtures' matter).
    Json::Value wrongArray(Json::arrayValue);
    const struct {
        const char* what;
        Json::Value leaf;
    } leaves[] = {{"null", Json::Value()}, {"object", wrongObject}, {"array", wrongArray}};
    for (const auto& [name, unit] : CZQMsgFactory::GetRegistry()) {
        std::unique_ptr<CZQMessage> fresh(CZQMsgFactory::CreateMsg(name));
        ASSERT_TRUE(fresh) << name;
        const std::string expected = Own(fresh.get());
        std::vector<std::pair<std::string, std::string>> cases = {
            {"{\"cmd\":\"" + name + "\",\"status\":1}", expected}};
        for (const auto& l : leaves) {
            Json::Value root = EveryKey(l.leaf);
            root["cmd"] = name;
            root["status"] = 1;
            // An "officialobj" object always opens the official category of the directory, fields at defaults.
            cases.emplace_back(Write(root), name == "getallnav" ? expected + "5,,0,0;" : expected);
        }
        for (const auto& [body, want] : cases) {
            SCOPED_TRACE(body);
            auto m = Build(body);
            ASSERT_TRUE(m);
            EXPECT_TRUE(typeid(*m) == typeid(*fresh));
            EXPECT_EQ(m->status, 1);
            EXPECT_EQ(Own(m.get()), want);
        }
    }
}

TEST_F(ReplyDefaults, HugeAndNegativeNumbersNeverThrow) {
    const Json::Value leaves[] = {Json::Value(1e300),
                                  Json::Value(-1e300),
                                  Json::Value(Json::UInt64(-1)),
                                  Json::Value(Json::Int64(INT64_MIN)),
                                  Json::Value(-1),
                                  Json::Value(4294967296.0)};
    for (const auto& [name, unit] : CZQMsgFactory::GetRegistry()) {
        for (const Json::Value& leaf : leaves) {
            Json::Value root = EveryKey(leaf);
            root["cmd"] = name;
            std::string body = Write(root);
            SCOPED_TRACE(body);
            std::unique_ptr<CZQMessage> m;
            EXPECT_NO_THROW(m = Build(body));
            ASSERT_TRUE(m);
            // Numbers out of range of a field leave it; amounts clamp into 0..2^63-1.
            if (auto* x = dynamic_cast<CZQGetAnonyUserMsg*>(m.get())) {
                EXPECT_EQ(x->uid, 0u);
            }
            if (auto* x = dynamic_cast<CZQLogInMsg*>(m.get())) {
                EXPECT_EQ(x->user.uid, 0u);
                EXPECT_LE(x->user.xiubi, uint64_t(INT64_MAX));
            }
            if (auto* x = dynamic_cast<CZQEnterRoomMsg*>(m.get())) {
                EXPECT_TRUE(x->level == -1 || leaf.isInt()) << x->level;
            }
        }
    }
}

TEST_F(ReplyDefaults, RootsThatAreNotObjectsAndBrokenText) {
    const char* roots[] = {"[1,2]", "\"enterroom\"", "5", "null", "true", "[{\"cmd\":\"enterroom\"}]"};
    for (const char* r : roots) EXPECT_FALSE(Build(r)) << r;  // no command, no object

    const std::string broken[] = {"[{\"user\":{\"uid\":1}}]", "\"x\"", "12", "{\"cmd\":", "jsondata={", ""};
    for (const auto& [name, unit] : CZQMsgFactory::GetRegistry()) {
        std::unique_ptr<CZQMessage> fresh(CZQMsgFactory::CreateMsg(name));
        const std::string expected = Own(fresh.get());
        for (const std::string& text : broken) {
            SCOPED_TRACE(name + " <- " + text);
            std::unique_ptr<CZQMessage> m(CZQMsgFactory::CreateMsg(name));
            m->Parse(text.data(), static_cast<int>(text.size()));
            EXPECT_EQ(m->status, 2);
            EXPECT_EQ(Own(m.get()), expected);
        }
        // The jsondata form needs its ";".
        EXPECT_FALSE(Build("jsondata={\"cmd\":\"" + name + "\",\"status\":1}")) << name;
        auto wrapped = Build("jsondata={\"cmd\":\"" + name + "\",\"status\":1};");
        ASSERT_TRUE(wrapped) << name;
        EXPECT_EQ(wrapped->status, 1);
    }
}

TEST_F(ReplyDefaults, EveryPrefixOfAFullReplyIsSafe) {
    Json::Value root = EveryKey(Json::Value("%D6%D0x"));
    Json::Value mic(Json::objectValue);
    mic["user"] = root["user"];
    mic["live"] = root["live"];
    auto list = [](const Json::Value& element) {
        Json::Value l(Json::arrayValue);
        l.append(element);
        l.append(element);
        return l;
    };
    root["miclist"] = list(mic);
    root["userlist"] = list(root["user"]);
    root["sendgiftlist"] = list(root["globalmsg"]);
    root["wellist"] = list(root["user"]);
    root["catnavobj"] = root["officialobj"];
    root["catnavobj"]["catlist"] = list(root["officialobj"]);
    root["status"] = 1;
    for (const char* cmd : {"enterroom", "getmicinfo", "getroomuser", "login", "getallnav", "getmic"}) {
        root["cmd"] = cmd;
        const std::string body = Write(root);
        for (size_t n = 0; n < body.size(); n += 1 + n % 5) {
            std::unique_ptr<CZQMessage> m;
            ASSERT_NO_THROW(m = Build(body.substr(0, n))) << n;
            EXPECT_FALSE(m) << body.substr(0, n);
        }
        EXPECT_TRUE(Build(body)) << cmd;
    }
}

}  // namespace
