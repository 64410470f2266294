// Collects the warnings and criticals that GTK, GDK, Pango and GLib log while it lives (they still reach
// standard error). One at a time.
#pragma once

#include <glib.h>

#include <string>
#include <vector>

namespace testsupport {

class GtkLogWatch {
public:
    GtkLogWatch() {
        for (const char* d : kDomains)
            m_ids.push_back(g_log_set_handler(
                d, GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION),
                &GtkLogWatch::OnLog, this));
    }
    ~GtkLogWatch() {
        for (size_t i = 0; i < m_ids.size(); ++i) g_log_remove_handler(kDomains[i], m_ids[i]);
    }
    GtkLogWatch(const GtkLogWatch&) = delete;
    GtkLogWatch& operator=(const GtkLogWatch&) = delete;
    const std::vector<std::string>& Messages() const { return m_messages; }

private:
    static void OnLog(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer self) {
        static_cast<GtkLogWatch*>(self)->m_messages.push_back(std::string(domain ? domain : "") + ": " +
                                                              (message ? message : ""));
        g_log_default_handler(domain, level, message, nullptr);
    }
    static constexpr const char* kDomains[] = {"Gtk", "Gdk", "GLib-GObject", "GLib", "Pango", "GdkPixbuf"};
    std::vector<guint> m_ids;
    std::vector<std::string> m_messages;
};

}  // namespace testsupport
