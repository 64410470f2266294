#include "WordFilterConfig.h"

#include <cerrno>
#include <cstdlib>
#include <set>

#include "CatalogRecords.h"
#include "ZqLib.h"
#include "ZqLog.h"

namespace {

const char kLog[] = "Halvec.txt";
const int64_t kMaxWordFile = static_cast<int64_t>(kWordFilterMaxFileBytes);

// atoi's reading of a flag, without its overflow: leading blanks, a sign, digits; anything else counts 0.
long FlagOf(const std::string& text) {
    errno = 0;
    long value = std::strtol(text.c_str(), nullptr, 10);
    return errno == ERANGE ? -1 : value;
}

}  // namespace

WordFilterConfig::~WordFilterConfig() {
    StopLoader();
    varnet::MutexLock lock(m_threadMutex);
    for (auto& loader : m_abandoned) loader.first.join();  // each was told to stop; it ends at its next check
}

void WordFilterConfig::StopLoader() {
    varnet::MutexLock lock(m_threadMutex);
    for (auto it = m_abandoned.begin(); it != m_abandoned.end();) {
        Job& job = *it->second;
        bool done;
        {
            varnet::MutexLock jl(job.mutex);
            done = job.done;
        }
        if (!done) {
            ++it;
            continue;
        }
        it->first.join();
        it = m_abandoned.erase(it);
    }
    if (!m_thread.joinable()) return;
    m_job->stop.store(true);
    bool done;
    {
        Job& job = *m_job;
        const auto until = std::chrono::steady_clock::now() + m_stopWait;
        varnet::MutexLock jl(job.mutex);
        while (!job.done && job.cv.wait_until(jl.Native(), until) != std::cv_status::timeout) {}
        done = job.done;
    }
    if (done) {
        m_thread.join();
    } else {
        PJ_Log(kLog, LOG_FAILURE, "WordFilterConfig::StopLoader", "loader still running after %d ms",
               static_cast<int>(m_stopWait.count()));
        m_abandoned.emplace_back(std::move(m_thread), m_job);
    }
    m_job.reset();
}

void WordFilterConfig::StartLoad(const std::string& path) {
    StopLoader();
    uint64_t generation;
    {
        varnet::MutexLock lock(m_publishMutex);
        generation = ++m_generation;
        m_loaded.store(false, std::memory_order_release);
    }
    varnet::MutexLock lock(m_threadMutex);
    m_job = std::make_shared<Job>();
    std::shared_ptr<Job> job = m_job;
    try {
        size_t yieldBytes = m_yieldBytes;
        m_thread = std::thread(
            [this, job, generation, path, yieldBytes] { LoadWordFilterConf(job, generation, path, yieldBytes); });
    } catch (...) {
        PJ_Log(kLog, LOG_FAILURE, "WordFilterConfig::StartLoad", "cannot start the loader thread");
        m_job.reset();
    }
}

void WordFilterConfig::Clear() {
    StopLoader();
    varnet::MutexLock lock(m_publishMutex);
    ++m_generation;
    m_loaded.store(false, std::memory_order_release);
    m_index.reset();
}

void WordFilterConfig::Filter(std::u16string& out, const std::u16string& in) const {
    if (!m_loaded.load(std::memory_order_acquire) || !m_index) {
        out = in;
        return;
    }
    m_index->Filter(in, out);
}

bool WordFilterConfig::WaitLoaded(std::chrono::milliseconds timeout) const {
    varnet::MutexLock lock(m_publishMutex);
    return m_loadedCv.wait_for(lock.Native(), timeout, [this] { return m_loaded.load(); });
}

void WordFilterConfig::LoadWordFilterConf(const std::shared_ptr<Job>& job, uint64_t generation, const std::string& path,
                                          size_t yieldBytes) {
    const char* module = "WordFilterConfig::LoadWordFilterConf";
    PJ_Log(kLog, LOG_FAILURE, "WordFilterConfig::s_ThreadLoadWord", "开始加载敏感词文件");
    do {
        int64_t size = Dir::GetFileSize(path);
        if (size < 0) {
            PJ_Log(kLog, LOG_FAILURE, module, "加载敏感词文件失败(%s)", path.c_str());
            break;
        }
        if (size == 0 || size > kMaxWordFile) {
            PJ_Log(kLog, LOG_FAILURE, module, "加载敏感词文件失败(%s, size=%lld)", path.c_str(),
                   static_cast<long long>(size));
            break;
        }
        std::string text;
        if (!Dir::ReadFile(path, text, static_cast<size_t>(kMaxWordFile)) || text.size() < static_cast<size_t>(size)) {
            PJ_Log(kLog, LOG_FAILURE, module, "加载敏感词文件失败(%s, 文件大小：%lld, 读取大小：%d)", path.c_str(),
                   static_cast<long long>(size), static_cast<int>(text.size()));
            break;
        }
        size_t nul = text.find('\0');
        if (nul != std::string::npos) text.resize(nul);
        if (job->stop.load()) break;
        std::vector<std::u16string> words = ParseWordList(text, &job->stop, yieldBytes);
        if (job->stop.load()) break;
        auto index = std::make_unique<WordIndex>();
        Init(words, *index, &job->stop);
        varnet::MutexLock lock(m_publishMutex);
        if (!job->stop.load() && generation == m_generation) {
            m_index = std::move(index);
            m_loaded.store(true, std::memory_order_release);
            m_loadedCv.notify_all();
        }
    } while (false);
    PJ_Log(kLog, LOG_FAILURE, "WordFilterConfig::s_ThreadLoadWord", "结束加载敏感词文件");
    varnet::MutexLock done(job->mutex);
    job->done = true;
    job->cv.notify_all();
}

std::vector<std::u16string> WordFilterConfig::ParseWordList(const std::string& utf8, const std::atomic<bool>* stop,
                                                            size_t yieldBytes) {
    std::vector<std::u16string> words;
    const size_t n = utf8.size();
    size_t lineStart = 0;
    size_t sinceYield = 0;
    for (size_t i = 0; i <= n; ++i) {
        if (stop && stop->load(std::memory_order_relaxed)) break;
        if (yieldBytes && ++sinceYield >= yieldBytes) {
            sinceYield = 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        // "\r\n", "\r" and "\n" all end a line; the text's end ends the last one.
        bool end = i == n || utf8[i] == '\n' || utf8[i] == '\r';
        if (!end) continue;
        std::string line = utf8.substr(lineStart, i - lineStart);
        if (i < n && utf8[i] == '\r' && i + 1 < n && utf8[i + 1] == '\n') ++i;
        lineStart = i + 1;
        size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        long flag = FlagOf(line.substr(0, tab));
        if (flag != 0 && flag != 2) continue;
        std::u16string word = Charset::Utf8ToUtf16(line.substr(tab + 1));
        FoldWord(word);
        words.push_back(std::move(word));
    }
    return words;
}

void WordFilterConfig::Init(const std::vector<std::u16string>& words, WordIndex& index, const std::atomic<bool>* stop) {
    std::set<std::u16string> reported;
    size_t tooLong = 0, full = 0;
    for (const std::u16string& word : words) {
        if (stop && stop->load(std::memory_order_relaxed)) return;
        if (word.empty() || word[0] == u'#') continue;
        switch (index.Add(word)) {
        case WordIndex::AddResult::Duplicate:
            if (reported.insert(word).second)
                PJ_Log(kLog, LOG_FAILURE, "WordFilterConfig::Init", "加载时发现重复敏感词（%s）",
                       Charset::Utf16ToGbk(word).c_str());
            break;
        case WordIndex::AddResult::TooLong:
            ++tooLong;
            break;
        case WordIndex::AddResult::Full:
            ++full;
            break;
        default:
            break;
        }
    }
    if (tooLong)
        PJ_Log(kLog, LOG_FAILURE, "WordFilterConfig::Init", "%zu words longer than %zu units skipped", tooLong,
               WordIndex::kMaxWordUnits);
    if (full)
        PJ_Log(kLog, LOG_FAILURE, "WordFilterConfig::Init", "index full at %zu nodes: %zu words skipped",
               index.NodeCount(), full);
    index.Freeze();
}
