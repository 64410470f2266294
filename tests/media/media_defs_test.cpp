#include <gtest/gtest.h>

#include <cstddef>

#include "MediaDefs.h"

TEST(MediaDefs, PublishParamDefaults) {
    ZQPublishParam p;
    EXPECT_EQ(p.url[0], 0);
    EXPECT_EQ(p.url[1023], 0);
    EXPECT_EQ(p.timeout, 30);
    EXPECT_EQ(p.recvTimeout, 30);
    EXPECT_EQ(p.sendTimeout, 30);
    EXPECT_EQ(p.audio.channels, 2);
    EXPECT_EQ(p.audio.sampleRate, 44100);
    EXPECT_EQ(p.audio.bitRate, 48);
    EXPECT_EQ(p.audio.bitsPerSample, 16);
    EXPECT_EQ(p.audio.objectType, 29);
    EXPECT_TRUE(p.audio.enable);
    EXPECT_EQ(p.audio.deviceIndex, 0);
    EXPECT_EQ(p.video.width, 320);
    EXPECT_EQ(p.video.height, 240);
    EXPECT_EQ(p.video.frameRate, 10);
    EXPECT_EQ(p.video.bitRate, 84);
    EXPECT_EQ(p.video.keyInterval, 30);
    EXPECT_TRUE(p.video.enable);
    EXPECT_EQ(p.video.deviceIndex, 0);
}

TEST(MediaDefs, PublishParamCopiesWholeRecord) {
    ZQPublishParam a;
    for (size_t i = 0; i < sizeof(a.url) - 1; ++i)
        a.url[i] = char('a' + i % 26);
    a.timeout = 7;
    a.audio.objectType = 2;
    a.video.width = 640;
    ZQPublishParam b;
    b = a;
    EXPECT_EQ(0, memcmp(a.url, b.url, sizeof(a.url)));
    EXPECT_EQ(b.timeout, 7);
    EXPECT_EQ(b.audio.objectType, 2);
    EXPECT_EQ(b.video.width, 640);
    ZQPublishParam c(a);
    EXPECT_EQ(0, memcmp(a.url, c.url, sizeof(a.url)));
}

TEST(MediaDefs, ReplayParamDefaults) {
    ZQReplayParam r;
    EXPECT_EQ(r.url[0], 0);
    EXPECT_EQ(r.bufferTime, 2);
    EXPECT_EQ(r.maxBufferTime, 5);
    EXPECT_EQ(r.timeout, 30);
    EXPECT_EQ(r.recvTimeout, 30);
    EXPECT_EQ(r.sendTimeout, 30);
    EXPECT_EQ(r.minSyncTime, 200);
    EXPECT_EQ(r.maxSyncTime, 400);
    EXPECT_TRUE(r.audioShow && r.videoShow && r.audioEnable && r.videoEnable);
    EXPECT_FALSE(r.dumpStream);
    EXPECT_EQ(r.dumpPath[0], 0);
    EXPECT_EQ(r.waveOutDevice, 0);
    TNAL n;
    EXPECT_EQ(n.size, 0);
    EXPECT_EQ(n.data, nullptr);
}

TEST(MediaDefs, CodesKeepTheirNumbers) {
    EXPECT_EQ(PUBLISH_CONNECT_FAILED, 8);
    EXPECT_EQ(PUBLISH_CONNECTION_LOST, 9);
    EXPECT_EQ(REPLAY_CONNECTION_LOST, 3);
    EXPECT_EQ(REPLAY_BUFFER_EMPTY, 8);
    EXPECT_EQ(offsetof(WAVEFORMATEX, cbSize), 16u);
    EXPECT_EQ(offsetof(BITMAPINFOHEADER, biSizeImage), 20u);
}
