// The web view layer: one page view with navigation, three navigation events, a `window.external` object
// whose methods the caller names, and the body operations the chat panes use. Two engines stand behind it:
// WebKitGTK (WebViewWebKit.h, real windows) and a headless document model (HeadlessWebView.h, tests).
//
// Threads: every call, event and page call happens on the UI thread.
// Lifetime: a view is ended with Close(), never deleted. A Close() made from inside one of the view's own
// events or page calls (the owner closing its dialog there) takes effect once that call has returned; no
// event reaches the owner after Close().
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ZqCom.h"

namespace webview {

// Status codes of failed navigations that have no HTTP answer (the values the original engine used).
constexpr int kStatusNameNotResolved = static_cast<int>(0x800C0005);  // the host name did not resolve
constexpr int kStatusCannotConnect = static_cast<int>(0x800C0004);    // refused, unreachable, timed out
constexpr int kStatusDownloadFailure = static_cast<int>(0x800C0008);  // dropped, malformed, anything else

// What the page may pass: at most this many arguments of at most this many bytes (UTF-8) each, and a
// method name of at most 64 bytes. A call beyond them returns "" without reaching the program.
constexpr size_t kMaxExternalArgs = 16;
constexpr size_t kMaxExternalArgBytes = 64 * 1024;
constexpr size_t kMaxExternalNameBytes = 64;
constexpr size_t kMaxExternalAnswerBytes = 256 * 1024;

class IWebViewEvents {
public:
    virtual ~IWebViewEvents() = default;
    // URLs are as the engine reports them (UTF-8 from the engine, ASCII in practice), converted to GBK.
    // A navigation that got no answer, or an answer other than 200.
    virtual void OnNavigateError(const std::string& url, int status) = 0;
    // The top-level page was answered with 200 and is being shown.
    virtual void OnNavigateComplete(const std::string& url) = 0;
    // The top-level document has loaded.
    virtual void OnDocumentComplete(const std::string& url) = 0;
    // A local page's context menu was asked for at a screen point (the engine shows none of its own);
    // `hasSelection`: some of the page's text is selected.
    virtual void OnContextMenu(int screenX, int screenY, bool hasSelection) {
        (void)screenX, (void)screenY, (void)hasSelection;
    }
    // The pointer came over the view / left it.
    virtual void OnMouseEnter() {}
    virtual void OnMouseLeave() {}
};

// Editing commands of a page (the chat panes' own context menu).
enum class EditCommand { Copy, SelectAll };

// Keys that reload a page in a browser (F5 with any modifiers, Ctrl+R, Ctrl+Shift+R): a local page swallows
// them. GDK key values and modifier state.
bool IsReloadKey(unsigned keyval, unsigned state);

class IWebView {
public:
    // GBK or ASCII URL; "about:blank" is allowed. Requests made inside an event or page call are carried
    // out after it returns.
    virtual void Navigate(const std::string& url) = 0;
    virtual void Refresh() = 0;
    // The last address given to Navigate ("" before the first).
    virtual std::string GetRequestedUrl() const = 0;
    virtual void SetEvents(IWebViewEvents* events) = 0;
    // window.external: the published method names (matched without regard to ASCII case; every other name
    // is undefined to the page) and the object whose IDispatch answers them. The view holds a reference.
    // Applies to documents loaded from now on. Null removes the object.
    virtual void SetExternal(IDispatch* external, const std::vector<std::string>& names) = 0;
    virtual void SetScrollBars(bool on) = 0;
    // A page of the program's own (chat panes), for documents loaded from now on: navigation stays on file:
    // pages (a link the user clicks opens in the desktop's browser), and the page's inline click and
    // context-menu handlers, which the page's content policy keeps the engine from running, are carried out
    // by the bridge from their attribute text when they are plain window.external calls (ParseHandlerCall).
    // Local pages also swallow the reload keys (IsReloadKey) and show no context menu of the engine's: they
    // report OnContextMenu instead.
    virtual void SetLocalPage(bool on) = 0;
    // The hosts (ASCII, any case, any port) whose http and https pages window.external answers; besides them
    // only file: pages and local pages get an answer. Every other page's call returns "" and reaches nothing.
    virtual void SetTrustedHosts(const std::vector<std::string>& hosts) = 0;

    // Body of the current document (chat panes). Markup is GBK.
    virtual void InsertAdjacentHTML(const std::string& where, const std::string& html) = 0;  // "beforeEnd"
    virtual int GetBodyChildCount() const = 0;
    // Removes the first `count` child nodes of the body (fewer when it has fewer).
    virtual void RemoveBodyChildren(int count) = 0;
    virtual void ScrollToBottom() = 0;
    virtual bool IsScrolledToBottom() const = 0;
    // Several lines at the end of the body, each parsed on its own as by InsertAdjacentHTML: after line
    // `trimAfter` (none when negative) only the last `keep` child nodes are kept; then, with `scroll`, the view
    // scrolls to the bottom. An engine does it all in one step (one layout).
    virtual void AppendHtmlBatch(const std::vector<std::string>& lines, int trimAfter, int keep, bool scroll);

    virtual void ExecEditCommand(EditCommand command) { (void)command; }

    // Runs a script of the program's own in the current document and hands what it returned, as UTF-8 text,
    // to `done` later on the UI thread ("" when it failed or returned nothing). Once the view is closed,
    // `done` is dropped without a call. The headless model has no script engine: it answers "" at once.
    using ScriptAnswer = std::function<void(const std::string& utf8)>;
    virtual void EvalScript(const std::string& utf8Script, ScriptAnswer done) {
        (void)utf8Script;
        if (done) done("");
    }

    // The native widget to place over the control (a GtkWidget*), null for the headless model.
    virtual void* GetWidget() = 0;
    virtual void Close() = 0;

protected:
    virtual ~IWebView() = default;
};

// Engine choice for views made from now on: the headless model (the default) or WebKitGTK.
enum class Engine { Headless, WebKit };
void SetDefaultEngine(Engine engine);
Engine GetDefaultEngine();
IWebView* CreateWebView();
IWebView* CreateWebView(Engine engine);

// The folder of the persistent cookie store and web data shared by every real view of the process
// (UTF-8 native path; default: the user-data folder's "web/"). Set before the first view is made.
void SetWebDataFolder(const std::string& nativeFolder);

// Opens an http or https URL in the user's default browser (the desktop's handler); any other scheme is
// refused. When no browser takes it, a (non-modal) message box named kNoBrowserWidgetName tells the user where to
// go. Tests may replace the opener. UI thread.
bool OpenInDefaultBrowser(const std::string& url);
using UrlOpener = bool (*)(const std::string& utf8Url);
void SetUrlOpener(UrlOpener opener);  // null restores the desktop's handler
constexpr const char* kNoBrowserWidgetName = "VarnetNoBrowser";

// One page call: checks it (a published name, argument count and sizes) and invokes `external` with the
// arguments as BSTRs (method and property-get). True with the answer when the call reached the object.
// Arguments and answer are UTF-8.
// An inline handler's text as one call: "window.external.<name>(<args>)", an optional ';', blanks around;
// each argument a decimal integer or a quoted text holding neither its quote nor a backslash. UTF-8.
bool ParseHandlerCall(const std::string& text, std::string& name, std::vector<std::string>& args);

// The host of an http or https address, lower-cased, without user, port or brackets; "" for other schemes.
std::string HttpHostOf(const std::string& url);
// True when `url` is a file: address or an http(s) address of one of `hosts`.
bool IsTrustedPage(const std::string& url, const std::vector<std::string>& hosts);

bool InvokeExternal(IDispatch* external, const std::vector<std::string>& names, const std::string& name,
                    const std::vector<std::string>& args, std::string& answer);

}  // namespace webview
