// The WebKitGTK engine. window.external is a script injected at document start into the top frame; its
// methods call prompt() with this view's own secret prefix, and the view answers that prompt itself, so the
// page gets its answer synchronously. Every other script dialog is dismissed silently.
#include <gio/gio.h>
#include <json/json.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "JsonSafe.h"
#include "WebKitCalls.h"
#include "WebViewBase.h"
#include "Win32Window.h"
#include "ZqLib.h"
#include "ZqLog.h"

namespace webview {

namespace {

std::string g_dataFolder;
WebKitWebContext* g_context = nullptr;

std::string DefaultDataFolder() {
    return Dir::ToNativePath(Dir::GetZqPath(107)) + "web";
}

void OnDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer) {
    webkit_download_cancel(download);
}

// One context for the process: every view shares its cookie store, kept on disk.
WebKitWebContext* SharedContext() {
    if (g_context) return g_context;
    std::string folder = g_dataFolder.empty() ? DefaultDataFolder() : g_dataFolder;
    g_mkdir_with_parents(folder.c_str(), 0700);
    std::string cache = folder + "/cache";
    WebKitWebsiteDataManager* data = webkit_website_data_manager_new("base-data-directory", folder.c_str(),
                                                                     "base-cache-directory", cache.c_str(), nullptr);
    g_context = webkit_web_context_new_with_website_data_manager(data);
    WebKitCookieManager* cookies = webkit_website_data_manager_get_cookie_manager(data);
    std::string store = folder + "/cookies.sqlite";
    webkit_cookie_manager_set_persistent_storage(cookies, store.c_str(), WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
    webkit_cookie_manager_set_accept_policy(cookies, WEBKIT_COOKIE_POLICY_ACCEPT_NO_THIRD_PARTY);
    g_object_unref(data);
    g_signal_connect(g_context, "download-started", G_CALLBACK(OnDownloadStarted), nullptr);
    return g_context;
}

// The engine widgets of the views alive: a new view is related to one of them, so that every view of the
// program shares one web process.
std::vector<GtkWidget*> g_liveViews;

std::string Quoted(const std::string& utf8) {
    return Json::valueToQuotedString(utf8.c_str());
}

std::string NewToken() {
    std::random_device rd;
    char buf[40];
    snprintf(buf, sizeof(buf), "\x1bvarnet-%08x%08x:", rd(), rd());
    return buf;
}

bool IsHttp(const char* uri) {
    return uri && (g_ascii_strncasecmp(uri, "http://", 7) == 0 || g_ascii_strncasecmp(uri, "https://", 8) == 0);
}

int StatusOfError(const GError* e) {
    if (!e) return kStatusDownloadFailure;
    if (e->domain == G_RESOLVER_ERROR) return kStatusNameNotResolved;
    if (e->domain == G_IO_ERROR) {
        switch (e->code) {
        case G_IO_ERROR_CONNECTION_REFUSED:
        case G_IO_ERROR_HOST_UNREACHABLE:
        case G_IO_ERROR_NETWORK_UNREACHABLE:
        case G_IO_ERROR_TIMED_OUT:
            return kStatusCannotConnect;
        case G_IO_ERROR_NOT_FOUND:
            return kStatusNameNotResolved;
        default:
            break;
        }
    }
    // Older engines report resolver and socket failures with only a message.
    const char* m = e->message ? e->message : "";
    if (strstr(m, "resolv") || strstr(m, "Name or service")) return kStatusNameNotResolved;
    if (strstr(m, "refused") || strstr(m, "unreachable") || strstr(m, "timed out")) return kStatusCannotConnect;
    return kStatusDownloadFailure;
}

const char kBridge[] = R"JS((function(){
var token = %s, names = %s, ask = window.prompt.bind(window), map = {};
names.forEach(function(n){ map[String(n).toLowerCase()] = true; });
function method(name){ return function(){
  var a = [];
  for (var i = 0; i < arguments.length; i++) { var v = arguments[i]; a.push(v === undefined || v === null ? "" : String(v)); }
  var r = ask(token + JSON.stringify({n: name, a: a}), "");
  return r === null ? "" : r;
};}
var ext = new Proxy({}, {
  get: function(t, p){ return typeof p === "string" && map[p.toLowerCase()] ? method(p) : undefined; },
  has: function(t, p){ return typeof p === "string" && !!map[p.toLowerCase()]; },
  set: function(){ return true; }, defineProperty: function(){ return true; }, deleteProperty: function(){ return true; }
});
try { Object.defineProperty(window, "external", {value: ext, configurable: false, writable: false}); }
catch (e) { try { window.external = ext; } catch (e2) {} }
if (%s) ["click", "contextmenu"].forEach(function(type){
  document.addEventListener(type, function(ev){
    for (var e = ev.target; e && e.nodeType !== 9; e = e.parentNode) {
      if (e.nodeType === 1 && e.hasAttribute("on" + type)) {
        if (type === "contextmenu") ev.preventDefault();
        ask(token + JSON.stringify({h: String(e.getAttribute("on" + type))}), "");
        return;
      }
    }
  }, true);
});
})();)JS";

class CWebKitView : public CWebViewBase {
public:
    CWebKitView() : m_token(NewToken()) {
        m_content = webkit_user_content_manager_new();
        // A related view takes the context of the one it is related to.
        if (!g_liveViews.empty())
            m_view = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", g_liveViews.front(),
                                             "user-content-manager", m_content, nullptr));
        else
            m_view = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", SharedContext(),
                                             "user-content-manager", m_content, nullptr));
        g_object_ref_sink(m_view);
        g_liveViews.push_back(m_view);
        // The view lives in a box of its own: when the window around it is destroyed (a page command may
        // do that from inside a call), the box lets go of the view instead of destroying it with itself.
        m_box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
        g_object_ref_sink(m_box);
        gtk_box_pack_start(GTK_BOX(m_box), m_view, TRUE, TRUE, 0);
        gtk_widget_show(m_view);
        g_signal_connect(m_box, "destroy", G_CALLBACK(OnBoxDestroy), this);
        WebKitSettings* s = webkit_web_view_get_settings(WEBKIT_WEB_VIEW(m_view));
        webkit_settings_set_javascript_can_open_windows_automatically(s, FALSE);
        webkit_settings_set_enable_developer_extras(s, FALSE);
        webkit_settings_set_enable_write_console_messages_to_stdout(s, FALSE);
        webkit_settings_set_allow_file_access_from_file_urls(s, FALSE);
        webkit_settings_set_allow_universal_access_from_file_urls(s, FALSE);
        g_signal_connect(m_view, "load-changed", G_CALLBACK(OnLoadChanged), this);
        g_signal_connect(m_view, "load-failed", G_CALLBACK(OnLoadFailed), this);
        g_signal_connect(m_view, "script-dialog", G_CALLBACK(OnScriptDialog), this);
        g_signal_connect(m_view, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
        g_signal_connect(m_view, "context-menu", G_CALLBACK(OnContextMenu), this);
        g_signal_connect(m_view, "key-press-event", G_CALLBACK(OnKeyPress), this);
        g_signal_connect(m_view, "enter-notify-event", G_CALLBACK(OnCrossing), this);
        g_signal_connect(m_view, "leave-notify-event", G_CALLBACK(OnCrossing), this);
        g_signal_connect(m_view, "permission-request", G_CALLBACK(OnPermission), this);
        g_signal_connect(m_view, "create", G_CALLBACK(OnCreate), this);
        g_signal_connect(m_view, "draw", G_CALLBACK(OnDraw), nullptr);
    }

    void Navigate(const std::string& url) override {
        m_url = url;
        if (IsClosing()) return;
        m_doc.Clear();
        if (InCall()) {
            m_pendingUrl = url;
            m_pendingRefresh = false;
            Schedule();
            return;
        }
        Load(url);
    }

    void Refresh() override {
        if (IsClosing()) return;
        if (InCall()) {
            if (m_pendingUrl.empty()) m_pendingRefresh = true;
            Schedule();
            return;
        }
        m_doc.Clear();
        webkit_web_view_reload(WEBKIT_WEB_VIEW(m_view));
    }

    void SetExternal(IDispatch* external, const std::vector<std::string>& names) override {
        CWebViewBase::SetExternal(external, names);
        webkit_user_content_manager_remove_all_scripts(m_content);
        if (!external) return;
        Json::Value list(Json::arrayValue);
        for (const auto& n : names) list.append(Charset::GbkToUtf8(n));
        Json::StreamWriterBuilder w;
        w["indentation"] = "";
        std::string src = StringUtility::Format(kBridge, Quoted(m_token).c_str(), Json::writeString(w, list).c_str(),
                                                m_localPage ? "true" : "false");
        WebKitUserScript* script =
            webkit_user_script_new(src.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                   WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
        webkit_user_content_manager_add_script(m_content, script);
        webkit_user_script_unref(script);
    }

    void SetLocalPage(bool on) override {
        CWebViewBase::SetLocalPage(on);
        if (m_external) SetExternal(m_external, std::vector<std::string>(m_names));
    }

    void SetScrollBars(bool on) override {
        CWebViewBase::SetScrollBars(on);
        // Applied to each document as it loads.
    }

    void InsertAdjacentHTML(const std::string& where, const std::string& html) override {
        if (g_ascii_strcasecmp(where.c_str(), "beforeEnd") != 0) return;
        m_doc.AppendFragment(html);
        Run("document.body&&document.body.insertAdjacentHTML('beforeend'," + Quoted(Charset::GbkToUtf8(html)) + ");");
    }
    void RemoveBodyChildren(int count) override {
        if (count <= 0) return;
        m_doc.RemoveFirst(count);
        Run(
            StringUtility::Format("(function(b,n){while(b&&n-->0&&b.firstChild)b.removeChild(b.firstChild);})"
                                  "(document.body,%d);",
                                  count));
    }
    void ScrollToBottom() override {
        m_atBottom = true;
        Run("(function(e){if(e)e.scrollTop=e.scrollHeight;})(document.scrollingElement||document.body);");
    }
    bool IsScrolledToBottom() const override { return m_atBottom; }
    void AppendHtmlBatch(const std::vector<std::string>& lines, int trimAfter, int keep, bool scroll) override {
        if (lines.empty() && !scroll) return;
        // One script: each line parsed on its own, the trim at its place (as many nodes as the body model
        // drops), one scroll (one layout).
        keep = std::max(0, keep);
        std::string list;
        int removed = 0;
        for (size_t i = 0; i < lines.size(); ++i) {
            m_doc.AppendFragment(lines[i]);
            if (!list.empty()) list += ',';
            list += Quoted(Charset::GbkToUtf8(lines[i]));
            if (int(i) == trimAfter) {
                int count = m_doc.ChildCount();
                removed = count > keep ? count - keep : 0;
                if (removed > 0) m_doc.RemoveFirst(removed);
            }
        }
        if (scroll) m_atBottom = true;
        Run(StringUtility::Format(
            "(function(b,a,t,k,s){if(!b)return;for(var i=0;i<a.length;i++){b.insertAdjacentHTML('beforeend',a[i]);"
            "if(i==t)for(var n=k;n-->0&&b.firstChild;)b.removeChild(b.firstChild);}"
            "if(s){var e=document.scrollingElement||b;e.scrollTop=e.scrollHeight;}})(document.body,[%s],%d,%d,%s);",
            list.c_str(), trimAfter, removed, scroll ? "true" : "false"));
    }
    void EvalScript(const std::string& utf8Script, ScriptAnswer done) override {
        if (IsClosing() || !done) return;
        struct Pending {
            CWebKitView* view;
            GCancellable* cancel;
            ScriptAnswer done;
        };
        // The cancellable is cancelled when the view goes: the answer then finds nothing to call.
        auto* pending = new Pending{this, G_CANCELLABLE(g_object_ref(m_cancel)), std::move(done)};
        webkit_web_view_evaluate_javascript(
            WEBKIT_WEB_VIEW(m_view), utf8Script.c_str(), -1, nullptr, nullptr, m_cancel,
            [](GObject* v, GAsyncResult* r, gpointer p) {
                auto* pending = static_cast<Pending*>(p);
                std::string text;
                if (JSCValue* val = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(v), r, nullptr)) {
                    if (!jsc_value_is_undefined(val) && !jsc_value_is_null(val)) {
                        char* t = jsc_value_to_string(val);
                        text = t ? t : "";
                        g_free(t);
                    }
                    g_object_unref(val);
                }
                if (!g_cancellable_is_cancelled(pending->cancel) && !pending->view->IsClosing()) pending->done(text);
                g_object_unref(pending->cancel);
                delete pending;
            },
            pending);
    }
    void* GetWidget() override { return m_box; }

protected:
    ~CWebKitView() override = default;

    // The committed document's address: a page that started a navigation elsewhere is still itself.
    std::string DocumentUrl() const override { return m_committedUrl; }

    void Destroy() override {
        g_liveViews.erase(std::remove(g_liveViews.begin(), g_liveViews.end(), m_view), g_liveViews.end());
        g_signal_handlers_disconnect_by_data(m_view, this);
        g_signal_handlers_disconnect_by_data(m_box, this);
        if (m_idle) g_source_remove(m_idle);
        g_cancellable_cancel(m_cancel);
        g_object_unref(m_cancel);
        g_object_unref(G_OBJECT(m_content));
        m_content = nullptr;
        // The widget may be inside one of its own signals, or a nested loop inside one: the view and its
        // widgets go once the outermost loop is back.
        ::DeleteWhenIdle(std::function<void()>([this] {
            webkit_web_view_stop_loading(WEBKIT_WEB_VIEW(m_view));
            gtk_widget_destroy(m_view);
            g_object_unref(m_view);
            gtk_widget_destroy(m_box);
            g_object_unref(m_box);
            delete this;
        }));
    }

private:
    void Load(const std::string& url) {
        std::string u = Charset::GbkToUtf8(url);
        webkit_web_view_load_uri(WEBKIT_WEB_VIEW(m_view), u.c_str());
    }

    void Schedule() {
        if (m_idle) return;
        m_idle = g_idle_add(
            [](gpointer p) -> gboolean {
                auto* self = static_cast<CWebKitView*>(p);
                self->m_idle = 0;
                std::string url;
                url.swap(self->m_pendingUrl);
                bool refresh = self->m_pendingRefresh;
                self->m_pendingRefresh = false;
                if (!url.empty()) self->Navigate(url);
                else if (refresh) self->Refresh();
                return G_SOURCE_REMOVE;
            },
            this);
    }

    void Run(const std::string& js) {
        if (IsClosing()) return;
        webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(m_view), js.c_str(), -1, nullptr, nullptr, m_cancel,
                                            nullptr, nullptr);
    }

    void ApplyScrollBars() {
        if (m_scrollBars) return;
        Run("(function(){var s=document.createElement('style');s.textContent='html,body{overflow:hidden!important}';"
            "(document.head||document.documentElement).appendChild(s);})();");
    }

    static void OnBoxDestroy(GtkWidget* box, gpointer p) {
        auto* self = static_cast<CWebKitView*>(p);
        if (gtk_widget_get_parent(self->m_view) == box) gtk_container_remove(GTK_CONTAINER(box), self->m_view);
    }

    static std::string UriOf(WebKitWebView* v) {
        const char* u = webkit_web_view_get_uri(v);
        return Charset::Utf8ToGbk(u ? u : "");
    }

    static void OnLoadChanged(WebKitWebView* v, WebKitLoadEvent ev, gpointer p) {
        auto* self = static_cast<CWebKitView*>(p);
        switch (ev) {
        case WEBKIT_LOAD_STARTED:
            self->m_failed = false;
            break;
        case WEBKIT_LOAD_COMMITTED: {
            const char* uri = webkit_web_view_get_uri(v);
            self->m_committedUrl = Charset::Utf8ToGbk(uri ? uri : "");
            int status = 200;
            if (IsHttp(uri)) {
                WebKitWebResource* res = webkit_web_view_get_main_resource(v);
                WebKitURIResponse* resp = res ? webkit_web_resource_get_response(res) : nullptr;
                status = resp ? static_cast<int>(webkit_uri_response_get_status_code(resp)) : 0;
            }
            self->m_atBottom = false;
            if (status != 200) {
                self->m_failed = true;
                self->FireError(UriOf(v), status);
            } else {
                self->FireComplete(UriOf(v));
            }
            break;
        }
        case WEBKIT_LOAD_FINISHED:
            if (!self->m_failed) {
                self->ApplyScrollBars();
                self->FireDocument(UriOf(v));
            }
            break;
        default:
            break;
        }
    }

    static gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer p) {
        auto* self = static_cast<CWebKitView*>(p);
        // The load ends here: its FINISHED that follows reports nothing.
        self->m_failed = true;
        // Superseded by a newer navigation, or stopped: not a failure of the page.
        if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
            g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE))
            return TRUE;
        self->FireError(Charset::Utf8ToGbk(uri ? uri : ""), StatusOfError(error));
        return TRUE;  // no error page of the engine's own
    }

    static gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog* d, gpointer p) {
        auto* self = static_cast<CWebKitView*>(p);
        WebKitScriptDialogType type = webkit_script_dialog_get_dialog_type(d);
        if (type == WEBKIT_SCRIPT_DIALOG_CONFIRM || type == WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM)
            webkit_script_dialog_confirm_set_confirmed(d, type == WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM);
        if (type != WEBKIT_SCRIPT_DIALOG_PROMPT) return TRUE;
        const char* msg = webkit_script_dialog_get_message(d);
        std::string answer;
        if (msg && strncmp(msg, self->m_token.c_str(), self->m_token.size()) == 0) {
            std::string name;
            std::vector<std::string> args;
            std::string handler;
            if (ParseCall(msg + self->m_token.size(), name, args, handler))
                answer = handler.empty() ? self->CallExternal(name, args) : self->CallHandler(handler);
            // The view may be gone now: only the dialog is touched below.
        }
        webkit_script_dialog_prompt_set_text(d, answer.c_str());
        return TRUE;
    }

    static bool ParseCall(const char* text, std::string& name, std::vector<std::string>& args, std::string& handler) {
        size_t len = strlen(text);
        Json::Value v;
        if (len > (kMaxExternalArgs + 1) * kMaxExternalArgBytes * 2 ||
            !JsonSafe::Parse(text, len, v, nullptr, 4 * kMaxExternalArgs) || !v.isObject())
            return false;
        if (v.isMember("h")) {
            const Json::Value& h = JsonSafe::Get(v, "h");
            if (!h.isString() || h.asString().empty()) return false;
            handler = h.asString();
            return true;
        }
        const Json::Value& n = JsonSafe::Get(v, "n");
        const Json::Value& a = JsonSafe::Get(v, "a");
        if (!n.isString() || !a.isArray() || a.size() > kMaxExternalArgs) return false;
        name = n.asString();
        for (const auto& x : a) {
            if (!x.isString()) return false;
            args.push_back(x.asString());
        }
        return true;
    }

    static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* d, WebKitPolicyDecisionType type, gpointer p) {
        auto* self = static_cast<CWebKitView*>(p);
        if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && self->m_localPage) {
            WebKitNavigationAction* a =
                webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(d));
            WebKitURIRequest* req = webkit_navigation_action_get_request(a);
            const char* uri = req ? webkit_uri_request_get_uri(req) : nullptr;
            // A local page stays local: a link the user clicks opens in the desktop's browser.
            if (!uri || g_ascii_strncasecmp(uri, "file:", 5) != 0) {
                if (uri && IsHttp(uri) && webkit_navigation_action_is_user_gesture(a)) OpenInDefaultBrowser(uri);
                webkit_policy_decision_ignore(d);
                return TRUE;
            }
            return FALSE;
        }
        if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
            WebKitNavigationAction* a =
                webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(d));
            WebKitURIRequest* req = webkit_navigation_action_get_request(a);
            const char* uri = req ? webkit_uri_request_get_uri(req) : nullptr;
            // A link the user clicked that asks for a new window opens in the desktop's browser.
            if (uri && webkit_navigation_action_is_user_gesture(a)) OpenInDefaultBrowser(uri);
            webkit_policy_decision_ignore(d);
            return TRUE;
        }
        if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
            // Nothing is downloaded: what the engine cannot show is dropped.
            if (!webkit_response_policy_decision_is_mime_type_supported(WEBKIT_RESPONSE_POLICY_DECISION(d))) {
                webkit_policy_decision_ignore(d);
                return TRUE;
            }
        }
        return FALSE;
    }

    // No menu of the engine's; a local page's owner shows its own.
    static gboolean OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent* event, WebKitHitTestResult* hit,
                                  gpointer p) {
        auto* self = static_cast<CWebKitView*>(p);
        if (!self->m_localPage) return TRUE;
        gdouble x = 0, y = 0;
        if (event) gdk_event_get_root_coords(event, &x, &y);
        bool selection = hit && webkit_hit_test_result_context_is_selection(hit);
        self->FireContextMenu(int(x), int(y), selection);
        return TRUE;
    }
    static gboolean OnKeyPress(GtkWidget*, GdkEventKey* key, gpointer p) {
        auto* self = static_cast<CWebKitView*>(p);
        return self->m_localPage && IsReloadKey(key->keyval, key->state) ? TRUE : FALSE;
    }
    static gboolean OnCrossing(GtkWidget*, GdkEventCrossing* e, gpointer p) {
        // Moves between the view's own inner windows are no entering or leaving.
        if (e->detail != GDK_NOTIFY_INFERIOR) static_cast<CWebKitView*>(p)->FireMouse(e->type == GDK_ENTER_NOTIFY);
        return FALSE;
    }
    void ExecEditCommand(EditCommand command) override {
        if (IsClosing()) return;
        webkit_web_view_execute_editing_command(WEBKIT_WEB_VIEW(m_view), command == EditCommand::Copy
                                                                             ? WEBKIT_EDITING_COMMAND_COPY
                                                                             : WEBKIT_EDITING_COMMAND_SELECT_ALL);
    }
    static gboolean OnPermission(WebKitWebView*, WebKitPermissionRequest* r, gpointer) {
        webkit_permission_request_deny(r);
        return TRUE;
    }
    static GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction*, gpointer) { return nullptr; }
    // The engine draws a part of its page wrongly (blank, or shifted) when only that part is drawn, as where
    // another window, a menu or an effect went away; drawn whole, it is right. A part uncovered, by whatever,
    // is followed by the whole view.
    static gboolean OnDraw(GtkWidget* view, cairo_t* cr, gpointer) {
        double x1, y1, x2, y2;
        cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
        if (x1 > 0 || y1 > 0 || x2 < gtk_widget_get_allocated_width(view) || y2 < gtk_widget_get_allocated_height(view))
            gtk_widget_queue_draw(view);
        return FALSE;
    }

    std::string m_token;          // the secret prefix of this view's page calls
    std::string m_committedUrl;   // of the document shown now (GBK)
    GtkWidget* m_view = nullptr;  // the engine's widget, one reference ours
    GtkWidget* m_box = nullptr;   // what the window holds, one reference ours
    WebKitUserContentManager* m_content = nullptr;
    GCancellable* m_cancel = g_cancellable_new();
    guint m_idle = 0;
    std::string m_pendingUrl;
    bool m_pendingRefresh = false;
    bool m_failed = false;
    bool m_atBottom = false;
};

UrlOpener g_opener = nullptr;

}  // namespace

IWebView* CreateWebKitView() {
    if (!EngineLibrary()) {
        PJ_Log("VarnetFrame.txt", 2, "WebView", "the web engine cannot be loaded (%s): pages are not shown", dlerror());
        return CreateWebView(Engine::Headless);
    }
    return new CWebKitView();
}

void SetWebDataFolder(const std::string& nativeFolder) {
    g_dataFolder = nativeFolder;
}

void SetUrlOpener(UrlOpener opener) {
    g_opener = opener;
}

namespace {
// The page's address without its query (which may carry a session) for the user to open by hand.
void ShowNoBrowser(const std::string& utf8Url) {
    if (!gdk_display_get_default()) return;
    std::string shown = utf8Url.substr(0, utf8Url.find_first_of("?#"));
    // GTK takes UTF-8; the program's own texts are GBK.
    const std::string head = Charset::GbkToUtf8("没有找到可以打开网页的浏览器。"),
                      body = Charset::GbkToUtf8("请安装浏览器，或在浏览器中打开："), title = Charset::GbkToUtf8("提示");
    GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_INFO, GTK_BUTTONS_OK,
                                            "%s", head.c_str());
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(box), "%s\n%s", body.c_str(), shown.c_str());
    gtk_window_set_title(GTK_WINDOW(box), title.c_str());
    gtk_widget_set_name(box, kNoBrowserWidgetName);
    gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
    g_signal_connect(box, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
    gtk_widget_show(box);
}
}  // namespace

bool OpenInDefaultBrowser(const std::string& url) {
    std::string u = Charset::GbkToUtf8(url);
    if (!IsHttp(u.c_str())) {
        PJ_Log("VarnetFrame.txt", 0, "WebView", "refused to open %s", url.substr(0, 64).c_str());
        return false;
    }
    bool ok;
    if (g_opener) {
        ok = g_opener(u);
    } else {
        GError* err = nullptr;
        ok = g_app_info_launch_default_for_uri(u.c_str(), nullptr, &err);
        if (err) g_error_free(err);
    }
    if (!ok) {
        PJ_Log("VarnetFrame.txt", 0, "WebView", "no browser took the page");
        ShowNoBrowser(u);
    }
    return ok;
}

}  // namespace webview
