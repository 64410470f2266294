#include "PacketQueue.h"

#include <new>
#include <utility>

PacketPtr packet_alloc(int size) {
    if (size <= 0) {
        return nullptr;
    }
    PacketPtr p(new (std::nothrow) AVPacketList);
    if (!p) {
        return nullptr;
    }
    p->data.reset(new (std::nothrow) BYTE[size_t(size)]);
    if (!p->data) {
        return nullptr;
    }
    p->size = size;
    return p;
}

namespace {

void FreeAll(PacketQueue* q) REQUIRES(q->mutex) {
    while (AVPacketList* p = q->head) {
        q->head = p->next;
        PacketPtr owned(p);
    }
    q->tail = q->run = nullptr;
    q->count = 0;
    q->bytes = 0;
}

// Unlinks the head (the queue is not empty).
PacketPtr PopHead(PacketQueue* q) REQUIRES(q->mutex) {
    PacketPtr p(q->head);
    q->head = p->next;
    if (!q->head) q->tail = nullptr;
    if (q->run == p.get()) q->run = q->head;  // the rest of the run starts at the new head
    --q->count;
    q->bytes -= size_t(p->size);
    p->next = nullptr;
    return p;
}

// The span of the queued run in milliseconds.
unsigned RunSpan(const PacketQueue* q) REQUIRES(q->mutex) {
    if (!q->head || !q->tail || !q->run) return 0;
    return q->tail->pts - q->run->pts;
}

}  // namespace

PacketQueue::~PacketQueue() {
    varnet::MutexLock lock(mutex);
    FreeAll(this);
}

void packet_queue_init(PacketQueue* q) {
    if (!q) return;
    varnet::MutexLock lock(q->mutex);
    FreeAll(q);
    q->signalled = false;
    q->woken = false;
    q->active = true;
}

void packet_queue_put(PacketQueue* q, PacketPtr pkt) {
    if (!pkt || !q) return;
    {
        varnet::MutexLock lock(q->mutex);
        if (!q->active) {
            return;
        }
        AVPacketList* p = pkt.release();
        p->next = nullptr;
        if (!q->tail) {
            q->head = q->tail = q->run = p;
        } else {
            if (p->pts < q->tail->pts) q->run = p;  // time went back: measure from here
            q->tail->next = p;
            q->tail = p;
        }
        ++q->count;
        q->bytes += size_t(p->size);
        q->signalled = true;
    }
    q->event.notify_one();
}

int packet_queue_get(PacketQueue* q, PacketPtr* pkt) {
    if (!q || !pkt) return 0;
    pkt->reset();
    varnet::MutexLock lock(q->mutex);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!q->active) return 0;
        if (q->head) {
            *pkt = PopHead(q);
            return 1;
        }
        if (attempt == 0) {
            while (!q->signalled) {
                q->event.wait(lock.Native());
            }
            q->signalled = false;
        }
    }
    return 0;
}

float packet_queue_duration(PacketQueue* q) {
    if (!q) return 0;
    varnet::MutexLock lock(q->mutex);
    if (!q->active || !q->head || !q->tail) return 0;
    return float(RunSpan(q)) / 1000.0f;
}

int packet_queue_count(PacketQueue* q) {
    if (!q) return 0;
    varnet::MutexLock lock(q->mutex);
    return q->active ? q->count : 0;
}

size_t packet_queue_bytes(PacketQueue* q) {
    if (!q) return 0;
    varnet::MutexLock lock(q->mutex);
    return q->active ? q->bytes : 0;
}

int packet_queue_wait_duration(PacketQueue* q, float seconds, int packets) {
    if (!q) return 0;
    varnet::MutexLock lock(q->mutex);
    for (;;) {
        if (!q->active) return 0;
        if (q->head && q->tail && (float(RunSpan(q)) / 1000.0f > seconds || q->count >= packets)) return 1;
        if (q->woken) {
            q->woken = false;
            return 0;
        }
        while (!q->signalled) {
            q->event.wait(lock.Native());
        }
        q->signalled = false;
    }
}

void packet_queue_skip_frame(PacketQueue* q, int seconds) {
    if (!q) return;
    varnet::MutexLock lock(q->mutex);
    if (!q->active) return;
    while (q->head && q->tail && RunSpan(q) / 1000u > unsigned(seconds)) {
        PopHead(q);
    }
}

void packet_queue_clear(PacketQueue* q) {
    if (!q) return;
    varnet::MutexLock lock(q->mutex);
    if (q->active) FreeAll(q);
}

void packet_queue_flush(PacketQueue* q) {
    if (!q) return;
    {
        varnet::MutexLock lock(q->mutex);
        FreeAll(q);
        q->active = false;
        q->signalled = true;
        q->woken = true;
    }
    q->event.notify_all();
}

void packet_queue_wakeup(PacketQueue* q) {
    if (!q) return;
    {
        varnet::MutexLock lock(q->mutex);
        q->signalled = true;
        q->woken = true;
    }
    q->event.notify_all();
}
