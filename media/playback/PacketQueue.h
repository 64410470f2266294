// Packet queues between the receive thread and the decode threads of a playback session.
// Every operation returns at once on a null or inactive queue (doing nothing, or returning 0).
#pragma once

#include "MediaTypes.h"

#include <condition_variable>
#include <mutex>

// One queued packet: an owned byte buffer, its length, pts in milliseconds, key-frame flag, link;
// `config` marks the first packet of a new stream configuration.
struct AVPacketList {
    BYTE* data = nullptr;
    int size = 0;
    unsigned pts = 0;
    bool key = false;
    bool config = false;
    AVPacketList* next = nullptr;
};

// Allocates a packet with `size` bytes of storage (uninitialised); nullptr when size is not positive.
AVPacketList* packet_alloc(int size);
void packet_free(AVPacketList* pkt);

struct PacketQueue {
    AVPacketList* head = nullptr;  // guarded by mutex
    AVPacketList* tail = nullptr;
    AVPacketList* run = nullptr;  // first packet after the last time the pts went back (else head)
    int count = 0;
    bool active = false;
    std::mutex mutex;
    std::condition_variable event;  // with `signalled`: an auto-reset event
    bool signalled = false;
};

void packet_queue_init(PacketQueue* q);
// Appends; the queue takes the packet (freed here when the queue is inactive).
void packet_queue_put(PacketQueue* q, AVPacketList* pkt);
// Takes the head into *pkt (1). When empty: waits for a put or a wake-up, tries once more (1 or 0).
int packet_queue_get(PacketQueue* q, AVPacketList** pkt);
// (tail pts - head pts) / 1000 seconds; 0 when empty or inactive. When the pts went back (a publisher
// restarting) the span is measured from the packet where it went back.
float packet_queue_duration(PacketQueue* q);
int packet_queue_count(PacketQueue* q);
// Drops head packets while the span (as for the duration) in whole seconds exceeds `seconds`.
void packet_queue_skip_frame(PacketQueue* q, int seconds);
// Frees every packet; the queue stays active.
void packet_queue_clear(PacketQueue* q);
// Frees every packet and marks the queue inactive.
void packet_queue_flush(PacketQueue* q);
// Lets a blocked get return.
void packet_queue_wakeup(PacketQueue* q);
