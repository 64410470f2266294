// The UDP stream-cloud transport against its loopback receiver.
#include "Nimbo.h"
#include "NimboWire.h"
#include "UdpStreamReceiver.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include "TestUtil.h"

namespace {

using Clock = std::chrono::steady_clock;

bool WaitFor(const std::function<bool()>& cond, int ms) {
    return testsupport::WaitUntil(cond, std::chrono::milliseconds(ms));
}

const uint8_t kAvc[] = {0x17, 0x00, 0x00, 0x00, 0x00, 0x01, 0x42, 0xc0, 0x0b, 0xff,
                        0xe1, 0x00, 0x02, 0x67, 0x42, 0x01, 0x00, 0x01, 0x68};
const uint8_t kAac[] = {0xAF, 0x00, 0x0B, 0x88};

TEST(Nimbo, TagsOfEverySizeArriveWhole) {
    testenv::UdpStreamReceiver rx;
    ASSERT_TRUE(rx.Start());
    CNimbo tx;
    tx.SetTimeouts(2000, 100, 2000);
    std::string addr = "udp://" + rx.Address() + "/live/1234";
    ASSERT_TRUE(tx.OpenStream(addr.c_str(), 320, 240, kAvc, sizeof(kAvc), kAac, sizeof(kAac)));
    EXPECT_TRUE(tx.StreamIsConnected());
    auto s = rx.LastStream();
    EXPECT_EQ(320, s.width);
    EXPECT_EQ(240, s.height);
    EXPECT_EQ(std::vector<uint8_t>(kAvc, kAvc + sizeof(kAvc)), s.avcHeader);
    EXPECT_EQ(std::vector<uint8_t>(kAac, kAac + sizeof(kAac)), s.aacHeader);

    // Sizes around the fragment boundaries.
    const size_t F = nimbo::kMaxFragment;
    const std::vector<size_t> sizes = {1, 9, F - 1, F, F + 1, 2 * F, 2 * F + 7, 60000};
    std::vector<std::vector<uint8_t>> sent;
    for (size_t i = 0; i < sizes.size(); ++i) {
        std::vector<uint8_t> body(sizes[i]);
        for (size_t k = 0; k < body.size(); ++k) body[k] = uint8_t(k * 7 + i);
        ASSERT_TRUE(tx.StreamSendData(body.data(), int(body.size()), unsigned(100 * i), i % 3 == 0, int(i % 2)));
        sent.push_back(body);
    }
    ASSERT_TRUE(WaitFor([&] { return rx.TagCount() == sizes.size(); }, 3000));
    auto tags = rx.Tags();
    for (size_t i = 0; i < sizes.size(); ++i) {
        EXPECT_EQ(sent[i], tags[i].body) << i;
        EXPECT_EQ(100 * i, tags[i].timestamp);
        EXPECT_EQ(i % 2 ? 8 : 9, tags[i].type);
        EXPECT_EQ(i % 3 == 0, tags[i].key);
    }
    tx.CloseStream();
    EXPECT_FALSE(tx.StreamIsConnected());
    EXPECT_TRUE(WaitFor([&] { return rx.LastStream().closed; }, 2000));
    EXPECT_EQ(0, rx.BadDatagrams());
}

TEST(Nimbo, LostFragmentLosesOnlyItsMessage) {
    testenv::UdpStreamReceiver rx;
    ASSERT_TRUE(rx.Start());
    CNimbo tx;
    tx.SetTimeouts(2000, 5000, 10000);
    ASSERT_TRUE(tx.OpenStream(rx.Address().c_str(), 160, 120, kAvc, sizeof(kAvc), kAac, 4));
    rx.SetDropEvery(7);                     // datagrams 7, 14, ... counted from the open
    std::vector<uint8_t> body(3000, 0x5A);  // 3 fragments a message
    for (int i = 0; i < 10; ++i) tx.StreamSendData(body.data(), int(body.size()), unsigned(i), false, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    auto tags = rx.Tags();
    EXPECT_LT(tags.size(), 10u);
    EXPECT_GT(tags.size(), 3u);
    for (auto& t : tags) EXPECT_EQ(body, t.body);
}

TEST(Nimbo, SilentServerIsALostConnection) {
    testenv::UdpStreamReceiver rx;
    ASSERT_TRUE(rx.Start());
    CNimbo tx;
    tx.SetTimeouts(1000, 50, 300);
    ASSERT_TRUE(tx.OpenStream(rx.Address().c_str(), 320, 240, kAvc, sizeof(kAvc), kAac, 4));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_TRUE(tx.StreamIsConnected());  // keep-alives are answered
    rx.SetSilent(true);
    EXPECT_TRUE(WaitFor([&] { return !tx.StreamIsConnected(); }, 3000));
    uint8_t b[4] = {};
    EXPECT_FALSE(tx.StreamSendData(b, 4, 0, false, 1));
}

TEST(Nimbo, OpenFailures) {
    testenv::UdpStreamReceiver rx;
    ASSERT_TRUE(rx.Start());
    rx.SetSilent(true);
    CNimbo tx;
    tx.SetTimeouts(300, 100, 1000);
    auto t0 = Clock::now();
    EXPECT_FALSE(tx.OpenStream(rx.Address().c_str(), 320, 240, kAvc, sizeof(kAvc), kAac, 4));
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(2));
    const char* bad[] = {"", "nohost", "127.0.0.1:", "127.0.0.1:12x", "[::1", "udp://:99"};
    for (const char* a : bad) {
        CNimbo t;
        t.SetTimeouts(200, 100, 1000);
        EXPECT_FALSE(t.OpenStream(a, 1, 1, kAvc, sizeof(kAvc), kAac, 4)) << a;
    }
    CNimbo t;
    EXPECT_FALSE(t.OpenStream(rx.Address().c_str(), 1, 1, nullptr, 5, kAac, 4));
    std::vector<uint8_t> huge(3000);
    EXPECT_FALSE(t.OpenStream(rx.Address().c_str(), 1, 1, huge.data(), int(huge.size()), kAac, 4));
    EXPECT_FALSE(t.StreamSendData(huge.data(), 10, 0, false, 0));
    t.CloseStream();
}

TEST(NimboWire, ParserRefusesInconsistentFragments) {
    struct Row {
        uint16_t index, count;
        uint32_t bodyLen;
        size_t payload;
        bool ok;
    };
    const size_t F = nimbo::kMaxFragment;
    const Row rows[] = {
        {0, 1, 10, 10, true},
        {0, 1, 10, 9, false},
        {1, 1, 10, 10, false},
        {0, 0, 10, 10, false},
        {0, 2, uint32_t(F + 1), F, true},
        {1, 2, uint32_t(F + 1), 1, true},
        {1, 2, uint32_t(F + 1), 2, false},
        {0, 3, uint32_t(F + 1), F, false},
        {0, 1, 0, 0, false},
        {0, 1, nimbo::kMaxBody + 1, 10, false},
    };
    for (const Row& r : rows) {
        std::vector<uint8_t> d;
        nimbo::PutHeader(d, nimbo::DATA, 1, 1);
        d.push_back(9);
        d.push_back(0);
        nimbo::Put32(d, 0);
        nimbo::Put32(d, 0);
        nimbo::Put16(d, r.index);
        nimbo::Put16(d, r.count);
        nimbo::Put32(d, r.bodyLen);
        d.resize(d.size() + r.payload);
        nimbo::DataHeader h;
        const uint8_t* p;
        size_t n;
        EXPECT_EQ(r.ok, nimbo::ParseData(d.data(), d.size(), h, p, n)) << r.index << "/" << r.count;
    }
    nimbo::Header h;
    const uint8_t junk[] = {'N', 'B', 2, 1, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(nimbo::ParseHeader(junk, sizeof(junk), h));
    EXPECT_FALSE(nimbo::ParseHeader(junk, 5, h));
}

}  // namespace
