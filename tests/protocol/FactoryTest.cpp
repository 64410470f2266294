// The command registry and the reply-text forms.
#include <fstream>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "ProtocolTestEnv.h"
#include "ZQCommands.h"
#include "ZQMsgFactory.h"

namespace {

class Factory : public ::testing::Test {
protected:
    void SetUp() override { prototest::SetUpOnce(); }
    static std::unique_ptr<CZQMessage> Build(const std::string& body) {
        return std::unique_ptr<CZQMessage>(
            CZQMsgFactory::BuildFromString(body.data(), CZQMsgFactory::GetRegistry(), static_cast<int>(body.size())));
    }
};

TEST_F(Factory, RegistryHoldsEveryCommand) {
    auto& r = CZQMsgFactory::GetRegistry();
    EXPECT_EQ(r.size(), 36u);
    for (const auto& [name, unit] : r) {
        std::unique_ptr<CZQMessage> m(CZQMsgFactory::CreateMsg(name));
        ASSERT_TRUE(m) << name;
        if (name != "ZQ_Message") {
            EXPECT_EQ(m->cmd, name);
        }
    }
    EXPECT_EQ(CZQMsgFactory::CreateMsg("nosuch"), nullptr);
}

TEST_F(Factory, RegisterRules) {
    CZQMsgFactory::Registry r;
    EXPECT_EQ(CZQMsgFactory::Register("", &CZQKickRoomMsg::s_factoryUnit, r), 0);
    EXPECT_EQ(CZQMsgFactory::Register("x", nullptr, r), 0);
    EXPECT_EQ(CZQMsgFactory::Register("x", &CZQKickRoomMsg::s_factoryUnit, r), 1);
    EXPECT_EQ(CZQMsgFactory::Register("x", &CZQLogInMsg::s_factoryUnit, r), 1);
    EXPECT_EQ(r.at("x"), &CZQLogInMsg::s_factoryUnit);
}

TEST_F(Factory, BodyForms) {
    struct Row {
        std::string body;
        const char* cmd;
    };  // cmd null: no object
    const Row rows[] = {
        {R"({"cmd":"login","status":1})", "login"},
        {R"(jsondata={"cmd":"kickroom","status":1};)", "kickroom"},
        {R"(xx jsondata={"cmd":"kickroom","status":3}; more;)", "kickroom"},
        {"jsondata=;", nullptr},
        {R"(jsondata={"cmd":"login"})", nullptr},    // no ";"
        {R"(;jsondata={"cmd":"login"};)", nullptr},  // ";" before the marker
        {R"({"status":1})", nullptr},
        {R"({"cmd":"nosuch"})", nullptr},
        {R"({"cmd":""})", nullptr},
        {R"({"cmd":{"a":1}})", nullptr},
        {R"([1,2])", nullptr},
        {"", nullptr},
        {std::string("{\"cmd\":\"login\"}\0garbage", 23), "login"},
        {R"({"cmd":"notifyuserinfo","status":1})", "notifyuserinfo"},
        {R"({"cmd":"ZQ_Message"})", "ZQ_Message"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.body);
        auto m = Build(r.body);
        if (!r.cmd) {
            EXPECT_FALSE(m);
            continue;
        }
        ASSERT_TRUE(m);
        EXPECT_EQ(m->cmd, r.cmd);
    }
    EXPECT_TRUE(dynamic_cast<CZQSysNotifyMsg*>(Build(R"({"cmd":"xnotifyx"})").get()));
    EXPECT_EQ(Build(R"(jsondata={"cmd":"kickroom","status":3};)")->status, 3);
    EXPECT_EQ(Build(R"({"cmd":"kickroom"})")->status, 2);
    EXPECT_EQ(CZQMsgFactory::BuildFromString(nullptr, CZQMsgFactory::GetRegistry(), 5), nullptr);
}

TEST_F(Factory, BodiesAreLoggedWithDebugLogging) {
    // With debug logging, the whole body up to a NUL, one line, in the request log; without, none.
    Build(R"({"cmd":"login","status":1,"marker":"quiet-5c1e"})");
    std::string body = R"({"cmd":"login","status":1,"marker":"m-7f3a"})";
    body += std::string(20000, ' ') + "\n" + std::string("\0tail-7f3a", 10);
    LogSetDebug(true);
    Build(body);
    LogSetDebug(false);
    CZQMsgFactory::BuildFromString(nullptr, CZQMsgFactory::GetRegistry(), 0);
    std::ifstream in(LogGetFolder() + "HttpRequest.txt", std::ios::binary);
    std::string line, found, none;
    while (std::getline(in, line)) {
        if (line.find("m-7f3a") != std::string::npos) found = line;
        EXPECT_EQ(line.find("quiet-5c1e"), std::string::npos);
        if (line.find("BuildFromString: pBuf=NULL") != std::string::npos) none = line;
    }
    const std::string logged = body.substr(0, body.find('\0') - 1) + "\\n";
    EXPECT_NE(found.find("FAILURE CZQMsgFactory::BuildFromString: pBuf=" + logged), std::string::npos);
    EXPECT_EQ(found.find("tail-7f3a"), std::string::npos);
    EXPECT_NE(none.find("INFO CZQMsgFactory::BuildFromString: pBuf=NULL"), std::string::npos);
}

TEST_F(Factory, SequenceNumbersWrapAndStayUnique) {
    CZQMessage::SetSequenceCounter(2147483631);
    CZQMessage a, b, c;
    EXPECT_EQ(a.seq, 2147483631);
    EXPECT_EQ(b.seq, 2147483632);
    EXPECT_EQ(c.seq, 1);

    CZQMessage::SetSequenceCounter(10);
    std::vector<int> seen[4];
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&seen, t] {
            for (int i = 0; i < 5000; ++i) seen[t].push_back(CZQMessage::NextSequence());
        });
    for (auto& t : threads) t.join();
    std::set<int> all;
    for (auto& v : seen) all.insert(v.begin(), v.end());
    EXPECT_EQ(all.size(), 20000u);
}

}  // namespace
