// What the chat column needs of a chat pane: append one GBK HTML line at the end of the page, count and trim
// the page's top-level nodes, clear it, scroll it to the bottom. CWebChatView puts it on a view of the web
// view layer; CHeadlessChatView keeps the page as the layer's document model (tests, and the room window when it
// is not on the desktop). UI thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ChatBridge.h"
#include "RoomModalHost.h"
#include "UIMenu.h"
#include "DocModel.h"
#include "WebView.h"

namespace roomui {

// A pane keeps everything for 200 inserts; the next one trims it to its last 20 nodes.
constexpr int kTrimAfterInserts = 200;
constexpr int kKeepNodesOnTrim = 20;

class IChatView {
public:
    virtual ~IChatView() = default;
    // True once the page has loaded; before that the view takes nothing.
    virtual bool IsReady() const = 0;
    virtual void AppendHtml(const std::string& gbkHtml) = 0;
    virtual int NodeCount() const = 0;
    // Removes whole first nodes while more than `keep` remain; 0 empties the page.
    virtual void RemoveOldNodes(int keep) = 0;
    virtual void ScrollToBottom() = 0;
    // Lines appended in order; after line `trimAfter` (none when negative) the last `keep` nodes stay; then
    // the pane scrolls to the bottom when `scroll` is set.
    virtual void AppendBatch(const std::vector<std::string>& lines, int trimAfter, int keep, bool scroll);
    bool IsAutoScroll() const { return m_autoScroll; }
    void SetAutoScroll(bool on) { m_autoScroll = on; }

private:
    bool m_autoScroll = true;
};

class CHeadlessChatView : public IChatView {
public:
    bool IsReady() const override { return m_ready; }
    void SetReady(bool ready) { m_ready = ready; }
    void AppendHtml(const std::string& gbkHtml) override;
    int NodeCount() const override { return m_doc.ChildCount(); }
    void RemoveOldNodes(int keep) override;
    void ScrollToBottom() override { ++m_scrolls; }

    // The markup of each top-level node, and of the whole body.
    std::vector<std::string> Nodes() const;
    std::string Text() const { return m_doc.BodyHtml(); }
    int Scrolls() const { return m_scrolls; }

private:
    bool m_ready = false;
    webview::CDocModel m_doc;
    int m_scrolls = 0;
};

// A chat pane on a view of the web view layer: ready once its document has loaded (then OnReady runs).
// Takes the view and closes it when destroyed; the view's events stop reaching this object then. As a local
// page it shows its own context menu (on the room window's modal stack) and ignores the reload keys.
class CWebChatView : public IChatView, private webview::IWebViewEvents {
public:
    explicit CWebChatView(webview::IWebView* view);
    ~CWebChatView() override;
    CWebChatView(const CWebChatView&) = delete;
    CWebChatView& operator=(const CWebChatView&) = delete;

    void Navigate(const std::string& url);
    // Makes the view a local page whose window.external calls reach `target` (null: they reach nothing).
    // The pane keeps one reference to its bridge and clears the target before letting go.
    void SetCallBack(IWebCallBack* target);
    bool IsReady() const override { return m_ready; }
    void AppendHtml(const std::string& gbkHtml) override;
    int NodeCount() const override;
    void RemoveOldNodes(int keep) override;
    void ScrollToBottom() override;
    // One step of the engine for the whole batch.
    void AppendBatch(const std::vector<std::string>& lines, int trimAfter, int keep, bool scroll) override;
    webview::IWebView* View() const { return m_view; }
    // Asks the page how wide its laid-out content is and how wide it shows it (its width less a scroll bar),
    // in pixels; `done` runs later, and not at all when the pane goes first or the page cannot answer.
    void MeasureWidth(std::function<void(int content, int shown)> done);
    // The modal stack the pane's context menu joins (the room window's).
    void SetModalHost(IRoomModalHost* host) { m_modal = host; }

    std::function<void()> OnReady;
    std::function<void()> OnPointerEnter;
    std::function<void()> OnPointerLeave;
    // The pane's context menu: "复制" (only with a selection), "全选", "清除所有内容". Runs the menu at a screen
    // point and returns the chosen index, -1 for none, -2 when dismissed; tests replace it.
    std::function<int(const std::vector<DuiLib::ZqMenuItem>& items, DuiLib::POINT at)> RunMenu;

private:
    void OnNavigateError(const std::string&, int) override {}
    void OnNavigateComplete(const std::string&) override {}
    void OnDocumentComplete(const std::string& url) override;
    void OnContextMenu(int x, int y, bool hasSelection) override;
    void OnMouseEnter() override {
        if (OnPointerEnter) OnPointerEnter();
    }
    void OnMouseLeave() override {
        if (OnPointerLeave) OnPointerLeave();
    }

    webview::IWebView* m_view;
    CWBExtDispatch* m_bridge = nullptr;
    IRoomModalHost* m_modal = nullptr;
    bool m_ready = false;
    // Cleared when the pane goes: a menu still running then does nothing afterwards.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

// The line path of one pane: lines queued while the UI thread is busy go in as one batch when it next
// flushes, with the trim rule (kTrimAfterInserts / kKeepNodesOnTrim, counted per line) and one scroll
// (when the pane auto-scrolls). Append puts a line in at once, after the queued ones. UI thread only.
class CChatPaneFeed {
public:
    void SetView(IChatView* view);
    IChatView* View() const { return m_view; }
    // True when the line is the first one queued since the last flush (the caller then schedules one).
    bool Queue(std::string gbkHtml);
    void Append(std::string gbkHtml);
    void Flush();
    size_t Queued() const { return m_queued.size(); }
    // Drops the queued lines and restarts the trim count (the pane's page is new).
    void Reset();

private:
    IChatView* m_view = nullptr;
    std::vector<std::string> m_queued;
    int m_inserts = 0;
};

}  // namespace roomui
