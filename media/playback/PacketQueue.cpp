#include "PacketQueue.h"

#include <new>

AVPacketList* packet_alloc(int size) {
    if (size <= 0) {
        return nullptr;
    }
    AVPacketList* p = new (std::nothrow) AVPacketList;
    if (!p) {
        return nullptr;
    }
    p->data = new (std::nothrow) BYTE[size_t(size)];
    if (!p->data) {
        delete p;
        return nullptr;
    }
    p->size = size;
    return p;
}

void packet_free(AVPacketList* pkt) {
    if (pkt) {
        delete[] pkt->data;
        delete pkt;
    }
}

namespace {

void FreeAll(PacketQueue* q) {
    AVPacketList* p = q->head;
    while (p) {
        AVPacketList* next = p->next;
        packet_free(p);
        p = next;
    }
    q->head = q->tail = q->run = nullptr;
    q->count = 0;
}

// Unlinks the head (the queue is locked and not empty).
AVPacketList* PopHead(PacketQueue* q) {
    AVPacketList* p = q->head;
    q->head = p->next;
    if (!q->head) q->tail = nullptr;
    if (q->run == p) q->run = q->head;  // the rest of the run starts at the new head
    --q->count;
    p->next = nullptr;
    return p;
}

// The span of the queued run in milliseconds (the queue is locked).
unsigned RunSpan(const PacketQueue* q) {
    if (!q->head || !q->tail || !q->run) return 0;
    return q->tail->pts - q->run->pts;
}

}  // namespace

void packet_queue_init(PacketQueue* q) {
    if (!q) return;
    std::lock_guard<std::mutex> lock(q->mutex);
    FreeAll(q);
    q->signalled = false;
    q->active = true;
}

void packet_queue_put(PacketQueue* q, AVPacketList* pkt) {
    if (!pkt) return;
    if (!q) {
        packet_free(pkt);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(q->mutex);
        if (!q->active) {
            packet_free(pkt);
            return;
        }
        pkt->next = nullptr;
        if (!q->tail) {
            q->head = q->tail = q->run = pkt;
            q->count = 1;
        } else {
            if (pkt->pts < q->tail->pts) q->run = pkt;  // time went back: measure from here
            q->tail->next = pkt;
            q->tail = pkt;
            ++q->count;
        }
        q->signalled = true;
    }
    q->event.notify_one();
}

int packet_queue_get(PacketQueue* q, AVPacketList** pkt) {
    if (!q || !pkt) return 0;
    *pkt = nullptr;
    std::unique_lock<std::mutex> lock(q->mutex);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!q->active) return 0;
        if (q->head) {
            *pkt = PopHead(q);
            return 1;
        }
        if (attempt == 0) {
            q->event.wait(lock, [q] { return q->signalled; });
            q->signalled = false;
        }
    }
    return 0;
}

float packet_queue_duration(PacketQueue* q) {
    if (!q) return 0;
    std::lock_guard<std::mutex> lock(q->mutex);
    if (!q->active || !q->head || !q->tail) return 0;
    return float(RunSpan(q)) / 1000.0f;
}

int packet_queue_count(PacketQueue* q) {
    if (!q) return 0;
    std::lock_guard<std::mutex> lock(q->mutex);
    return q->active ? q->count : 0;
}

void packet_queue_skip_frame(PacketQueue* q, int seconds) {
    if (!q) return;
    std::lock_guard<std::mutex> lock(q->mutex);
    if (!q->active) return;
    while (q->head && q->tail && RunSpan(q) / 1000u > unsigned(seconds)) {
        packet_free(PopHead(q));
    }
}

void packet_queue_clear(PacketQueue* q) {
    if (!q) return;
    std::lock_guard<std::mutex> lock(q->mutex);
    if (q->active) FreeAll(q);
}

void packet_queue_flush(PacketQueue* q) {
    if (!q) return;
    {
        std::lock_guard<std::mutex> lock(q->mutex);
        FreeAll(q);
        q->active = false;
        q->signalled = true;
    }
    q->event.notify_all();
}

void packet_queue_wakeup(PacketQueue* q) {
    if (!q) return;
    {
        std::lock_guard<std::mutex> lock(q->mutex);
        q->signalled = true;
    }
    q->event.notify_all();
}
