// The small jobs of the updater: the daily server configuration, the start-up statistics line and the
// clean-up of old log files. Updater thread.
#pragma once

#include <string>

#include "UpdaterEnv.h"

// Fetches this installation's server configuration at most once a UTC day and makes it the user's
// "config.ini".
class CClientDataUpdate {
public:
    explicit CClientDataUpdate(UpdaterEnv& env) : m_env(env) {}
    virtual ~CClientDataUpdate() = default;

    // True when UpdateData/LastUpdateDay is not today.
    bool CheckDownloadConfig();
    // 1 when a new configuration was written (the caller reloads the store), else 0.
    int DownloadServerConfig();
    // Keyed Base64 of the query; kept in EncodedText().
    bool Encryption(const char* text, int length);
    const std::string& EncodedText() const { return m_encoded; }

private:
    UpdaterEnv& m_env;
    std::string m_encoded;
};

// Reports every start of the client to the statistics service.
class CLogStatistics {
public:
    explicit CLogStatistics(UpdaterEnv& env) : m_env(env) {}
    virtual ~CLogStatistics() = default;

    // The line of this start ("trayrun" in the command line marks a start from the tray); 1 when answered.
    int SendStartLog(const std::string& commandLine);
    // GET of VStarLogServer + params; 1 for status 200 with a body. No retry.
    int SendVarnetLog(const std::string& params);

private:
    UpdaterEnv& m_env;
};

// Moves the log files that were not created in the current month within the last seven days to the trash.
// A file modified within the last seven days is kept: a running program may still be writing it.
void DeleteOldLogFiles(UpdaterEnv& env);
