// Reply fixtures of the commands: well-formed replies fill their fields; hostile replies keep the defaults.
#include <gtest/gtest.h>

#include "JsonSafe.h"
#include "ProtocolTestEnv.h"
#include "ZQCommands.h"
#include "ZQMsgFactory.h"

namespace {

class ReplyParse : public ::testing::Test {
protected:
    void SetUp() override { prototest::SetUpOnce(); }

    template <typename T>
    std::unique_ptr<T> Build(const std::string& body) {
        CZQMessage* m =
            CZQMsgFactory::BuildFromString(body.data(), CZQMsgFactory::GetRegistry(), static_cast<int>(body.size()));
        T* t = dynamic_cast<T*>(m);
        if (!t) delete m;
        return std::unique_ptr<T>(t);
    }
};

TEST_F(ReplyParse, BaseKeys) {
    auto m = Build<CZQLogInMsg>(R"({"cmd":"login","status":1})");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->status, 1);
    EXPECT_EQ(m->systm, 0u);
    EXPECT_TRUE(m->statusdesc.empty());

    auto r = Build<CZQKickRoomMsg>(R"({"cmd":"kickroom","status":7,"systm":1700000001,"statusdesc":"%D6%D0%41"})");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 7);
    EXPECT_EQ(r->systm, 1700000001u);
    EXPECT_EQ(r->statusdesc, "中A");

    CZQMessage base;
    EXPECT_EQ(base.Parse("not json", 8), 0);
    EXPECT_EQ(base.status, 2);
    EXPECT_STREQ(base.statusdesc.c_str(), CZQMessage::ParseFailureText());
}

TEST_F(ReplyParse, StatusDescCutOnWholeCharacter) {
    // 124 "A" then GBK characters: byte 249 would be the first half of a character.
    std::string desc(124, 'A');
    for (int i = 0; i < 100; ++i) desc += "%D6%D0";
    auto m = Build<CZQKickRoomMsg>(R"({"cmd":"kickroom","statusdesc":")" + desc + "\"}");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->statusdesc.size(), 248u);
}

TEST_F(ReplyParse, DecodedTextEndsAtNul) {
    // An escaped or a raw NUL ends the text; a number is read as its text.
    auto a = Build<CZQKickRoomMsg>(R"({"cmd":"kickroom","statusdesc":"ab%00cd"})");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->statusdesc, "ab");
    auto b = Build<CZQKickRoomMsg>(R"({"cmd":"kickroom","statusdesc":"%D6%D0\u0000%41"})");
    ASSERT_TRUE(b);
    EXPECT_EQ(b->statusdesc, "中");
    auto c = Build<CZQKickRoomMsg>(R"({"cmd":"kickroom","statusdesc":123})");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->statusdesc, "123");
    auto d = Build<CZQKickRoomMsg>(R"({"cmd":"kickroom","statusdesc":"%4"})");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->statusdesc, "%4");
}

TEST_F(ReplyParse, CoinReplies) {
    const char* cmds[] = {"broadcast", "sendgift", "sendmultigift", "sendtag"};
    for (const char* c : cmds) {
        SCOPED_TRACE(c);
        std::string body = std::string(R"({"cmd":")") + c + R"(","status":1,"user":{"xiubi":5000000000,"xiubiver":9}})";
        std::unique_ptr<CZQMessage> m(
            CZQMsgFactory::BuildFromString(body.data(), CZQMsgFactory::GetRegistry(), static_cast<int>(body.size())));
        ASSERT_TRUE(m);
        const CoinReply* coin = nullptr;
        if (auto* b = dynamic_cast<CZQBroadCastMsg*>(m.get())) coin = &b->coin;
        if (auto* g = dynamic_cast<CZQSendGiftMsg*>(m.get())) coin = &g->coin;
        if (auto* g = dynamic_cast<CZQSendMultiGiftMsg*>(m.get())) coin = &g->coin;
        if (auto* t = dynamic_cast<CZQSendTagMsg*>(m.get())) coin = &t->coin;
        ASSERT_TRUE(coin);
        EXPECT_EQ(coin->xiubi, 5000000000LL);
        EXPECT_EQ(coin->xiubiver, 9u);
    }
}

TEST_F(ReplyParse, LoginAndMyInfoReadTheSameKeysDifferently) {
    const std::string user =
        R"("user":{"uid":5,"sid":6,"beautyid":7,"name":"a%20b","nickname":"%D6%D0","photoid":8,"level":9,"sex":1,)"
        R"("prov":"%D6%D0","city":"c%21","birth":"1990","attr":3,"upgradeleft":12.9,"xiubi":5000000000,"zebin":-4})";
    auto login = Build<CZQLogInMsg>(R"({"cmd":"login","status":1,)" + user + "}");
    auto mine = Build<CZQGetMyInfoMsg>(R"({"cmd":"getmyinfo","status":1,)" + user + "}");
    ASSERT_TRUE(login && mine);
    EXPECT_EQ(login->user.uid, 5u);
    EXPECT_EQ(login->user.name, "a b");
    EXPECT_EQ(login->user.nickname, "中");
    EXPECT_EQ(login->user.prov, "中");
    EXPECT_EQ(mine->user.prov, "%D6%D0");
    EXPECT_EQ(login->user.attr, 0u);
    EXPECT_EQ(mine->user.attr, 3u);
    EXPECT_EQ(login->user.upgradeleft, 12u);
    EXPECT_EQ(login->user.xiubi, 5000000000ULL);
    EXPECT_EQ(login->user.zebin, 0u);  // negative amounts read as 0
    EXPECT_EQ(login->user.xiubiver, 0xFFFFFFFFu);
    EXPECT_EQ(login->user.zebinver, 0xFFFFFFFFu);
    EXPECT_EQ(mine->user.xiubiver, 0u);
}

TEST_F(ReplyParse, EnterRoomReply) {
    const std::string body = R"({"cmd":"enterroom","status":1,"role":3,"chatid":"c1","mute":1,"fav":0,
        "msg1":"%D6%D0","entershow":"show","hide":1,
        "miclist":[{"user":{"uid":11,"nickname":"a%20b","level":2,"beautyid":111,"photoid":4,"chatid":"x","role":1,"tagid":6},
                    "live":{"type":1,"micattr":2,"url":"rtmp://h/vstar/99","op":"play","tm":5,"md5":"m","idx":1}},
                   {"user":{"uid":11,"nickname":"dup"},"live":{}},
                   {"user":{"uid":12},"live":{"url":"rtmp://h/vstar/7"}}],
        "chatroom":{"ip":"1.2.3.4","port":9000,"tm":8,"channel":{"login":{"id":1,"sig":2,"chatname":"cn"},"join":{"id":3,"sig":4}}},
        "globalmsg":{"fname":"%D6%D0","tname":"t","gid":5,"cnt":6,"tm":7,"fbeautyid":8,"tbeautyid":9,"word":"w","hide":2},
        "sendgiftlist":[{"fid":1,"fname":"f","tid":2,"tname":"t","gid":3,"cnt":4,"hiscnt":5,"tm":6,"hide":1}],
        "wellist":[{"uid":1,"word":"hi%20there"},{"uid":2}]})";
    auto m = Build<CZQEnterRoomMsg>(body);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->role, 3u);
    EXPECT_EQ(m->level, -1);  // absent
    EXPECT_TRUE(m->mute);
    EXPECT_EQ(m->msg[0], "中");
    EXPECT_EQ(m->hide, 1u);
    ASSERT_EQ(m->micList.size(), 2u);
    const MicUserInfo& first = m->micList.at(11);
    EXPECT_EQ(first.user.nickname, "a b");  // the first of two entries of a uid stays
    EXPECT_EQ(first.user.tagid, 6u);
    EXPECT_EQ(first.stream.live, 1);
    EXPECT_EQ(first.stream.publish, 0);
    EXPECT_EQ(first.stream.url.rfind("rtmp://h/vstar/99?opstr=play&tm=5&uid=1001&roomid=99&Md5=m live=1", 0), 0u);
    EXPECT_EQ(m->micList.at(12).stream.publish, 1);  // no "op"
    EXPECT_NE(m->micList.at(12).stream.url.find("opstr=&tm=0"), std::string::npos);
    EXPECT_EQ(m->chatServer.ip, "1.2.3.4");
    EXPECT_EQ(m->chatServer.joinSig, 4u);
    EXPECT_EQ(m->chatServer.chatname, "cn");
    EXPECT_EQ(m->globalMsg.fname, "中");
    EXPECT_EQ(m->globalMsg.hide, 0);
    EXPECT_EQ(m->globalMsg.tm, 7u);
    ASSERT_EQ(m->giftHistory.size(), 1u);
    EXPECT_EQ(m->giftHistory.front()->sender.hide, 1u);
    EXPECT_EQ(m->giftHistory.front()->hiscnt, 5u);
    ASSERT_EQ(m->welcomeWords.size(), 2u);
    EXPECT_EQ(m->welcomeWords[0].word, "hi there");
}

TEST_F(ReplyParse, MicAndUserLists) {
    auto info = Build<CZQGetMicInfoMsg>(
        R"({"cmd":"getmicinfo","miclist":[{"user":{"uid":3,"nickname":"%41","photoid":9,"chatid":"c"},"live":{"op":"publish"}}]})");
    ASSERT_TRUE(info);
    ASSERT_EQ(info->micList.size(), 1u);
    EXPECT_EQ(info->micList.at(3).user.nickname, "A");
    EXPECT_EQ(info->micList.at(3).user.photoid, 0u);  // not read by this reply
    EXPECT_TRUE(info->micList.at(3).user.chatid.empty());
    EXPECT_TRUE(info->micList.at(3).stream.url.empty());  // no stream address, no connection text

    auto mic =
        Build<CZQGetMicMsg>(R"({"cmd":"getmic","mic":{"user":{"uid":4,"nickname":"%41"},"live":{"type":1,"idx":2}}})");
    ASSERT_TRUE(mic);
    EXPECT_EQ(mic->user.nickname, "%41");  // taken as sent
    EXPECT_EQ(mic->stream.idx, 2u);

    auto users = Build<CZQGetRoomUserMsg>(
        R"({"cmd":"getroomuser","userlist":[{"uid":1,"nickname":"%41","camera":1,"mic":2,"hide":1,"tagid":4},{"uid":1},{"uid":2}]})");
    ASSERT_TRUE(users);
    ASSERT_EQ(users->users.size(), 2u);
    EXPECT_EQ(users->users.at(1)->nickname, "A");
    EXPECT_EQ(users->users.at(1)->camera, 1u);
}

TEST_F(ReplyParse, LobbyDirectory) {
    auto nav = Build<CZQGetAllNavMsg>(R"({"cmd":"getallnav","onlinecnt":50,
        "catnavobj":{"type":1,"name":"%41","catlist":[{"id":1,"name":"x","cnt":3},{"id":2,"cnt":4}]},
        "hotactivityobj":{"type":2,"name":"h","activitylist":[{"id":9,"name":"a","url":"http://x/%41"}]},
        "rcmgameobj":{"type":3,"gamelist":"not a list"}})");
    ASSERT_TRUE(nav);
    EXPECT_EQ(nav->onlinecnt, 50u);
    ASSERT_EQ(nav->categories.size(), 3u);  // no officialobj: starts with catnavobj
    EXPECT_EQ(nav->categories[0].type, 1);
    EXPECT_EQ(nav->categories[0].name, "A");
    EXPECT_EQ(nav->categories[0].items.size(), 2u);
    EXPECT_EQ(nav->categories[1].items[0].url, "http://x/%41");
    EXPECT_TRUE(nav->categories[2].items.empty());
    EXPECT_LT(nav->categories[0].uniqueId, nav->categories[1].uniqueId);

    auto cate = Build<CZQGetCateListMsg>(
        R"({"cmd":"getcatelist","officialobj":{"name":"%41","cnt":3},"catnavobj":{"type":1,"catlist":[{"id":1,"cnt":3}]}})");
    ASSERT_TRUE(cate);
    EXPECT_EQ(cate->officialName, "%41");
    EXPECT_EQ(cate->officialCnt, 3u);
    EXPECT_EQ(cate->category.items.size(), 1u);
}

TEST_F(ReplyParse, SmallReplies) {
    auto anon = Build<CZQGetAnonyUserMsg>(R"({"cmd":"getanonyuser","user":{"uid":77,"sid":88}})");
    ASSERT_TRUE(anon);
    EXPECT_EQ(anon->uid, 77u);
    EXPECT_EQ(anon->sid, 88u);

    auto live = Build<CZQGetLiveSigMsg>(
        R"({"cmd":"getlivesig","live":{"type":1,"micattr":3,"url":"rtmp://a/b","op":"publish","tm":4,"md5":"m","idx":2}})");
    ASSERT_TRUE(live);
    EXPECT_EQ(live->url, "rtmp://a/b");
    EXPECT_EQ(live->ctxText[0], "publish");
    EXPECT_EQ(live->idx, 2u);

    auto info = Build<CZQGetUserInfoMsg>(R"({"cmd":"getuserinfo","user":{"uid":9,"nickname":"%41","prov":"%42"}})");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->tid, 9);
    EXPECT_EQ(info->prov, "B");

    auto room = Build<CZQGetRoomInfoMsg>(R"({"cmd":"getroominfo","name":"%41","msg5":"%42","logo":"1"})");
    ASSERT_TRUE(room);
    EXPECT_EQ(room->name, "A");
    EXPECT_EQ(room->msg[4], "B");

    auto loc = Build<CZQGetUserLocMsg>(R"({"cmd":"getuserloc","ip":"1.1.1.1","loc":"x"})");
    ASSERT_TRUE(loc);
    EXPECT_EQ(loc->loc, "x");

    auto chat = Build<CZQGetChatSigMsg>(R"({"cmd":"getchatsig","chatroom":{"ip":"h","port":1}})");
    ASSERT_TRUE(chat);
    EXPECT_EQ(chat->chatServer.port, 1u);
}

// A room notice comes back whole up to what a request may carry (2,047 bytes), in both replies that hold one.
TEST_F(ReplyParse, LongRoomNoticesComeBackWhole) {
    std::string notice = "01000200" + std::string(1000, 'a') + std::string(1000, 'b') + "http://p/q.png";
    std::string body = "\"msg2\":\"" + notice + "\"";
    auto room = Build<CZQGetRoomInfoMsg>("{\"cmd\":\"getroominfo\"," + body + "}");
    ASSERT_TRUE(room);
    EXPECT_EQ(room->msg[1], notice);
    auto enter = Build<CZQEnterRoomMsg>("{\"cmd\":\"enterroom\"," + body + "}");
    ASSERT_TRUE(enter);
    EXPECT_EQ(enter->msg[1], notice);
}

TEST_F(ReplyParse, WrongTypesKeepDefaults) {
    struct Row {
        const char* body;
    };
    const Row rows[] = {
        {R"({"cmd":"enterroom","status":"x","level":"high","role":-1,"mute":"yes","miclist":{"a":1},"chatroom":[],"globalmsg":7,"sendgiftlist":"x","wellist":[1,null,"s"]})"},
        {R"({"cmd":"enterroom","miclist":[1,"x",null,[],{"user":"x","live":5}],"chatroom":{"channel":"x"}})"},
        {R"({"cmd":"enterroom","level":1e300,"role":4294967296,"hide":-0.5,"msg1":{"a":1},"chatid":[1]})"},
        {R"({"cmd":"enterroom","status":null,"level":null,"miclist":null})"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.body);
        auto m = Build<CZQEnterRoomMsg>(r.body);
        ASSERT_TRUE(m);
        EXPECT_EQ(m->status, 2);
        EXPECT_EQ(m->level, -1);
        EXPECT_EQ(m->role, 0u);
        EXPECT_FALSE(m->mute);
        EXPECT_TRUE(m->chatid.empty());
        EXPECT_TRUE(m->msg[0].empty());
        EXPECT_TRUE(m->giftHistory.empty());
        EXPECT_EQ(m->globalMsg.gid, 0u);
    }
    auto login =
        Build<CZQLogInMsg>(R"({"cmd":"login","status":1,"user":{"uid":"12","xiubi":"many","xiubiver":-1,"name":5}})");
    ASSERT_TRUE(login);
    EXPECT_EQ(login->user.uid, 0u);
    EXPECT_EQ(login->user.xiubi, 0u);
    EXPECT_EQ(login->user.xiubiver, 0xFFFFFFFFu);
    EXPECT_EQ(login->user.name, "5");  // a number reads as its text
    auto huge = Build<CZQLogInMsg>(R"({"cmd":"login","user":{"xiubi":1e30,"zebin":NaN}})");
    // NaN is not JSON: the reply has no usable object.
    EXPECT_FALSE(huge);
    auto big = Build<CZQLogInMsg>(R"({"cmd":"login","user":{"xiubi":1e30}})");
    ASSERT_TRUE(big);
    EXPECT_EQ(big->user.xiubi, 9223372036854775807ULL);
}

TEST_F(ReplyParse, EveryCommandSurvivesHostileReplies) {
    const char* shapes[] = {
        R"({"cmd":"%s","status":[],"systm":-1,"statusdesc":{},"user":[],"live":"x","mic":1,"miclist":"x","userlist":{},)"
        R"("chatroom":1,"officialobj":"x","catnavobj":[],"hotactivityobj":1,"rcmgameobj":null})",
        R"({"cmd":"%s","user":{"uid":{},"sid":[],"name":{},"upgradeleft":"1","xiubi":true},"live":{"type":"1","op":5}})",
        R"({"cmd":"%s","catnavobj":{"catlist":[1,[2],{"id":"x","name":3}]},"userlist":[{"uid":-1},{"uid":1.5}]})",
        R"(jsondata={"cmd":"%s","status":1};trailing)",
    };
    for (const auto& [name, unit] : CZQMsgFactory::GetRegistry()) {
        for (const char* shape : shapes) {
            std::string body = StringUtility::Format(shape, name.c_str());
            SCOPED_TRACE(body);
            std::unique_ptr<CZQMessage> m;
            EXPECT_NO_THROW(m.reset(CZQMsgFactory::BuildFromString(body.data(), CZQMsgFactory::GetRegistry(),
                                                                   static_cast<int>(body.size()))));
            ASSERT_TRUE(m);
        }
    }
}

TEST_F(ReplyParse, ContextOperations) {
    CZQGetLiveSigMsg live;
    live.micIndex = 3;
    live.isPublic = true;
    CZQGetLiveSigMsg::MakeOpContext(live);
    EXPECT_EQ(live.ctxText[1], "3_public");
    CZQGetLiveSigMsg back;
    back.ctxText[1] = live.ctxText[1];
    back.ParseOpContext();
    EXPECT_EQ(back.micIndex, 3);
    EXPECT_TRUE(back.isPublic);
    back.ctxText[1] = "x";
    back.micIndex = 5;
    back.ParseOpContext();
    EXPECT_EQ(back.micIndex, 0);
    EXPECT_TRUE(back.isPublic);  // unchanged

    CZQOpMicMsg op;
    op.uid = 1;
    op.tid = 2;
    op.optype = 1;
    op.mictype = 0;
    std::string q;
    op.BuildSendString(q);
    EXPECT_EQ(op.ctxText[0], "1|2|1|0");
    op.ParseOpContext();
    EXPECT_EQ(op.ctxUid, 1);
    EXPECT_EQ(op.ctxTid, 2);
    EXPECT_TRUE(op.ctxOpen);
    EXPECT_FALSE(op.ctxMicType);
    CZQOpMicMsg three;
    three.ctxText[0] = "4|5|1";
    three.ParseOpContext();
    EXPECT_EQ(three.ctxUid, 0);
}

TEST_F(ReplyParse, Clones) {
    CZQLogInMsg login;
    login.user.name = "n";
    login.pwd = "p";
    login.status = 1;
    login.ctxInt[2] = 9;
    std::unique_ptr<CZQMessage> c(login.Clone());
    auto* lc = dynamic_cast<CZQLogInMsg*>(c.get());
    ASSERT_TRUE(lc);
    EXPECT_EQ(lc->user.name, "n");
    EXPECT_EQ(lc->status, 1);
    EXPECT_EQ(lc->ctxInt[2], 0);  // not in the base copy set

    CZQKickRoomMsg kick;
    kick.rid = 5;
    kick.status = 1;
    std::unique_ptr<CZQMessage> k(kick.Clone());
    ASSERT_TRUE(dynamic_cast<CZQKickRoomMsg*>(k.get()));
    EXPECT_EQ(k->status, 1);
    EXPECT_EQ(static_cast<CZQKickRoomMsg*>(k.get())->rid, 0);

    CZQCheckNickMsg nick;
    nick.status = 1;
    std::unique_ptr<CZQMessage> n(nick.Clone());
    ASSERT_TRUE(n);
    EXPECT_EQ(n->status, 2);
    CZQEnterRoomMsg enter;
    EXPECT_EQ(enter.Clone(), nullptr);
}

// A reply is bounded by the values it parses into, not only by its bytes: "[{},{},...]" is small text but
// large memory. The count is an upper bound of what the parser makes, and strings and comments add nothing.
size_t ParsedValues(const Json::Value& v) {
    size_t n = 1;
    for (const Json::Value& m : v) n += ParsedValues(m);
    return n;
}

TEST(JsonLimit, RepliesAreBoundedByTheirValues) {
    const std::string rows[] = {
        "0",
        "[]",
        R"({"a":1,"b":[1,2,{"c":null}],"d":{}})",
        R"({"s":"x,y:[z\",\\","t":[true,false]} // a, b: [c)",
        "/* [,:] */ [1, /* , */ 2] // ,\n",
        "[[[[[]]]],[[]],{}]",
    };
    for (const std::string& text : rows) {
        Json::Value v;
        ASSERT_TRUE(JsonSafe::Parse(text, v)) << text;
        size_t counted = JsonLimit::CountValues(text.data(), text.size());
        EXPECT_GE(counted, ParsedValues(v)) << text;
        EXPECT_LE(counted, 2 * ParsedValues(v)) << text;  // an empty "[]" counts the value it could hold
    }
    auto list = [](size_t n, const char* item) {
        std::string t = "[";
        for (size_t i = 0; i < n; ++i) t += i ? std::string(",") + item : item;
        return t + "]";
    };
    Json::Value v;
    EXPECT_TRUE(JsonSafe::Parse(list(JsonLimit::kMaxValues - 1, "{}"), v));
    EXPECT_EQ(v.size(), JsonLimit::kMaxValues - 1);
    for (const char* item : {"{}", "0", "[]"}) {
        EXPECT_FALSE(JsonSafe::Parse(list(JsonLimit::kMaxValues, item), v)) << item;
        EXPECT_TRUE(v.isNull());
    }
    // Nothing in a string counts.
    EXPECT_TRUE(JsonSafe::Parse("[\"" + std::string(2 * JsonLimit::kMaxValues, ',') + "\"]", v));
    // A reply past the bound fails like malformed text.
    std::string reply = R"({"cmd":"login","status":1,"x":)" + list(JsonLimit::kMaxValues, "{}") + "}";
    CZQMessage base;
    EXPECT_EQ(base.Parse(reply.data(), static_cast<int>(reply.size())), 0);
    EXPECT_EQ(base.status, 2);
}

// One depth bound for every reader: a reply (and a catalogue, see the plug-in's tests) nested kMaxDepth levels
// parses, one level more is refused like malformed text.
TEST(JsonSafe, NestingIsBounded) {
    auto nested = [](unsigned levels) {
        return R"({"cmd":"login","status":1,"x":)" + std::string(levels - 1, '[') + std::string(levels - 1, ']') + "}";
    };
    Json::Value v;
    EXPECT_TRUE(JsonSafe::Parse(nested(JsonSafe::kMaxDepth), v));
    std::string error;
    EXPECT_FALSE(JsonSafe::Parse(nested(JsonSafe::kMaxDepth + 1), v, &error));
    EXPECT_TRUE(v.isNull());
    EXPECT_FALSE(error.empty());
}

}  // namespace
