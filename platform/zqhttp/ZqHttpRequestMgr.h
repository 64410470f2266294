// The HTTP request manager: blocking requests with kept results, and file transfers (download, upload)
// that run on the manager's own threads and report through an observer.
#pragma once

#include <string>

#include "ZqHttp.h"

// Receives the reports of one transfer, on the manager's thread of that transfer (never the starter's).
// Every transfer that Download/Upload accepted (task id > 0) ends with exactly one of Stopped, Finished or
// Failed carrying that id; Begin and Progress may come before. The default bodies print one line to stdout.
// An override stores or posts and returns: it must not wait for a thread that may be inside StopTask.
// Sizes are bytes (clamped to INT_MAX; 0 when the server announced no length). Progress comes at most five
// times a second and at the end; its speed is the average in bytes per second since the start, at least 1.
class IZqHttpRequestObserver {
public:
    virtual void HttpRequestOb_DownloadBegin(int taskId, std::string filePath, int fileSize);
    virtual void HttpRequestOb_DownloadProgress(int taskId, int totalSize, int curSize, int speed);
    virtual void HttpRequestOb_DownloadStopped(int taskId);
    virtual void HttpRequestOb_DownloadFileFinished(int taskId, std::string filePath, int fileSize);
    virtual void HttpRequestOb_DownloadDataFinished(int taskId, const char* data, int len);
    virtual void HttpRequestOb_DownloadFailed(int taskId, int errorCode);
    virtual void HttpRequestOb_UploadBegin(int taskId);
    virtual void HttpRequestOb_UploadProgress(int taskId, int totalSize, int curSize, int speed);
    virtual void HttpRequestOb_UploadStopped(int taskId);
    // `data` (null when there was no reply) belongs to the manager, has len + 1 writable bytes and is valid
    // only during the call.
    virtual void HttpRequestOb_UploadFinished(int taskId, char* data, int len);
    virtual void HttpRequestOb_UploadFailed(int taskId, int errorCode);
    virtual ~IZqHttpRequestObserver() = default;
};

class IZqHttpRequestMgr {
public:
    // Performs one request on the calling thread and keeps its result under *requestId. `postData` empty or
    // null: GET; otherwise POST of that text. `param` (MakeHttpParam) is sent in the header "X-Zq-Param".
    // `flag` is reserved. timeoutMs <= 0: the default total time-out. Returns nonzero with *errorCode 0 when
    // a 2xx answer was kept; 0 with *errorCode set (ZQHTTP_ERR_*, or the HTTP status) otherwise, and then
    // nothing is kept and nothing needs releasing.
    virtual int Request(const char* url, int flag, const char* postData, const char* param, int* requestId,
                        int* errorCode, int timeoutMs) = 0;

    // Copies the body into the caller's buffer of *length bytes: at most *length - 1 bytes and a NUL;
    // *length becomes the number of body bytes copied. Nonzero when the request id is known.
    virtual int GetResult(int requestId, char* buffer, int* length, int* errorCode) = 0;

    // Gives the body in a new buffer of *length + 1 bytes (NUL-terminated) that the caller frees with
    // delete[]. Nonzero when the request id is known (an empty body gives a buffer and length 0).
    virtual int GetResult(int requestId, char** data, int* length, int* errorCode) = 0;

    // Frees what Request kept; unknown ids are ignored.
    virtual void ReleaseRequest(int requestId) = 0;

    // Downloads `url` to `localPath` (a system path, GBK, '\\' or '/'; folders are created). The file is
    // written under a temporary name and renamed when complete, so a failed or stopped download leaves no
    // file under the final name (an older file there is kept). An empty or null path downloads into memory
    // and reports DownloadDataFinished. Returns the task id (> 0), or <= 0 without any callback when the
    // transfer could not start (bad URL, null observer, too many transfers). `flags` is reserved.
    virtual int Download(const char* url, IZqHttpRequestObserver* observer, const char* localPath, int flags) = 0;

    // Posts the file `localPath` as multipart/form-data, field "file", with its file name; the server's
    // reply goes to UploadFinished. Returns the task id (> 0), or <= 0 without any callback when the file
    // cannot be read or the transfer could not start. `flags` is reserved.
    virtual int Upload(const char* url, IZqHttpRequestObserver* observer, const char* localPath, int flags) = 0;

    // Stops a running transfer; its observer gets the Stopped callback before this returns and no callback
    // after. Returns 1 (and *out = 1) when this call stopped the task, 0 (*out = 0) when the task had already
    // ended or is unknown. Called from inside one of the task's own callbacks, it only asks the transfer
    // to stop: the Stopped callback follows when that callback has returned.
    virtual int StopTask(int taskId, int* out) = 0;

protected:
    virtual ~IZqHttpRequestMgr() = default;
};

// The process-wide manager; never null.
IZqHttpRequestMgr* AfxGetHttpRequestMgr();
// Stops every transfer of the process-wide manager (each gets its Stopped callback) and joins its threads.
// Call it at shutdown while the observers of running transfers still live; the manager refuses later starts.
void AfxReleaseHttpRequestMgr();
