// The sensitive-word filter. The word list (wordfilter.conf, UTF-8, "<flag>\t<word>" a line) is read and
// indexed on a loader thread; until it has finished, Filter copies text unchanged.
//
// Threads: Filter may run on any number of threads at once. StartLoad, Clear and the destructor must not run
// while a Filter call is in progress (the plug-in calls them under its catalogue lock for writing). The loader
// builds its index privately and publishes it under m_publishMutex only while its generation is current, so a
// loader that outlives its stop wait never touches the live index.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "WordIndex.h"
#include "ThreadAnnotations.h"

class WordFilterConfig {
public:
    WordFilterConfig() = default;
    ~WordFilterConfig();
    WordFilterConfig(const WordFilterConfig&) = delete;
    WordFilterConfig& operator=(const WordFilterConfig&) = delete;

    // Stops a running loader and starts a new one on the file (a GBK system path).
    void StartLoad(const std::string& path);
    // Stops a running loader and empties the index; Filter copies text again.
    void Clear();
    // `out` becomes a copy of `in` until loaded; then the filtered text is appended to `out`.
    void Filter(std::u16string& out, const std::u16string& in) const;
    bool IsLoaded() const { return m_loaded.load(std::memory_order_acquire); }
    // For tests: waits until loaded or the time-out; true when loaded.
    bool WaitLoaded(std::chrono::milliseconds timeout) const;

    // Tunables (tests shorten them): the stop wait, and the pause of 2 ms after every `yieldBytes` bytes read.
    void SetStopWait(std::chrono::milliseconds wait) { m_stopWait = wait; }
    void SetYieldBytes(size_t bytes) { m_yieldBytes = bytes; }

    // The words of a list text, folded, in file order (lines of flag 0 or 2 that hold a tab). `stop` ends the
    // walk early; `yieldBytes` (0 = never) pauses 2 ms after every that many bytes.
    static std::vector<std::u16string> ParseWordList(const std::string& utf8, const std::atomic<bool>* stop,
                                                     size_t yieldBytes);
    // Builds an index from a word list: empty words and words starting with '#' are skipped, a duplicate is
    // logged once and stored once; words the index refuses (too long, or past its size) are skipped and
    // counted in the log.
    static void Init(const std::vector<std::u16string>& words, WordIndex& index, const std::atomic<bool>* stop);

private:
    struct Job {
        std::atomic<bool> stop{false};
        varnet::Mutex mutex;
        std::condition_variable cv;
        bool done GUARDED_BY(mutex) = false;
    };

    void StopLoader();
    void LoadWordFilterConf(const std::shared_ptr<Job>& job, uint64_t generation, const std::string& path,
                            size_t yieldBytes);

    varnet::Mutex m_threadMutex;  // guards m_thread, m_job, m_abandoned
    std::thread m_thread GUARDED_BY(m_threadMutex);
    std::shared_ptr<Job> m_job GUARDED_BY(m_threadMutex);
    // Loaders that outlived the stop wait: joined once done, at the latest on destruction.
    std::vector<std::pair<std::thread, std::shared_ptr<Job>>> m_abandoned GUARDED_BY(m_threadMutex);

    mutable varnet::Mutex m_publishMutex;  // guards m_generation and writes of m_index
    mutable std::condition_variable m_loadedCv;
    uint64_t m_generation GUARDED_BY(m_publishMutex) = 0;
    std::atomic<bool> m_loaded{false};
    std::unique_ptr<WordIndex> m_index;  // read by Filter only while m_loaded

    std::chrono::milliseconds m_stopWait{1000};
    size_t m_yieldBytes = 5000;
};
