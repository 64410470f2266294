// Packet queues between the receive thread and the decode threads of a playback session.
// Every operation returns at once on a null or inactive queue (doing nothing, or returning 0).
//
// Threads: the receive thread puts, one decode thread gets; the owner inits, flushes and wakes.
// Every field of a queue is guarded by its mutex.
#pragma once

#include "MediaExport.h"
#include "MediaTypes.h"
#include "ThreadAnnotations.h"

#include <climits>
#include <condition_variable>
#include <cstddef>
#include <memory>

// One queued packet: its owned bytes (`size` of them used), pts in milliseconds, key-frame flag;
// `config` marks the first packet of a new stream configuration.
struct AVPacketList {
    std::unique_ptr<BYTE[]> data;
    int size = 0;
    unsigned pts = 0;
    bool key = false;
    bool config = false;
    AVPacketList* next = nullptr;  // link while queued: the queue owns the packets it links
};
using PacketPtr = std::unique_ptr<AVPacketList>;

// A packet with `size` bytes of storage (uninitialised); nullptr when size is not positive or there is
// no memory.
VARNET_MEDIA_EXPORT PacketPtr packet_alloc(int size);

struct VARNET_MEDIA_EXPORT PacketQueue {
    PacketQueue() = default;
    ~PacketQueue();  // frees what is still queued
    PacketQueue(const PacketQueue&) = delete;
    PacketQueue& operator=(const PacketQueue&) = delete;

    varnet::Mutex mutex;
    AVPacketList* head GUARDED_BY(mutex) = nullptr;
    AVPacketList* tail GUARDED_BY(mutex) = nullptr;
    AVPacketList* run GUARDED_BY(mutex) = nullptr;  // first packet after the last time the pts went back (else head)
    int count GUARDED_BY(mutex) = 0;
    size_t bytes GUARDED_BY(mutex) = 0;  // the queued packets' sizes
    bool active GUARDED_BY(mutex) = false;
    std::condition_variable event;  // with `signalled`: an auto-reset event
    bool signalled GUARDED_BY(mutex) = false;
    bool woken GUARDED_BY(mutex) = false;  // a wake-up not yet seen by packet_queue_wait_duration
};

VARNET_MEDIA_EXPORT void packet_queue_init(PacketQueue* q);
// Appends; the queue takes the packet (dropped when the queue is inactive).
VARNET_MEDIA_EXPORT void packet_queue_put(PacketQueue* q, PacketPtr pkt);
// Takes the head into *pkt (1). When empty: waits for a put or a wake-up, tries once more (1 or 0).
VARNET_MEDIA_EXPORT int packet_queue_get(PacketQueue* q, PacketPtr* pkt);
// (tail pts - head pts) / 1000 seconds; 0 when empty or inactive. When the pts went back (a publisher
// restarting) the span is measured from the packet where it went back.
VARNET_MEDIA_EXPORT float packet_queue_duration(PacketQueue* q);
VARNET_MEDIA_EXPORT int packet_queue_count(PacketQueue* q);
// The sizes of the queued packets; 0 when inactive.
VARNET_MEDIA_EXPORT size_t packet_queue_bytes(PacketQueue* q);
// Blocks until the duration exceeds `seconds` or `packets` are queued (1), or until a wake-up or flush (0;
// at once on an inactive queue). The taker's thread only: it shares the event with packet_queue_get.
VARNET_MEDIA_EXPORT int packet_queue_wait_duration(PacketQueue* q, float seconds, int packets = INT_MAX);
// Drops head packets while the span (as for the duration) in whole seconds exceeds `seconds`.
VARNET_MEDIA_EXPORT void packet_queue_skip_frame(PacketQueue* q, int seconds);
// Frees every packet; the queue stays active.
VARNET_MEDIA_EXPORT void packet_queue_clear(PacketQueue* q);
// Frees every packet and marks the queue inactive.
VARNET_MEDIA_EXPORT void packet_queue_flush(PacketQueue* q);
// Lets a blocked get return.
VARNET_MEDIA_EXPORT void packet_queue_wakeup(PacketQueue* q);
