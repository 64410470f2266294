// Faultnote <dump path>: started by the program after a crash. Asks the user (a dialog on the desktop;
// $VARNET_FAULTNOTE_ANSWER = yes/no answers without one) and sends the dump to the crash-report service.
#include <gtk/gtk.h>

#include <cstdlib>
#include <cstring>

#include "Faultnote.h"
#include "ZqHttp.h"
#include "ZqHttpRequestMgr.h"
#include "ZqLib.h"
#include "ZqModConfig.h"

namespace {

bool Ask() {
    if (const char* a = getenv("VARNET_FAULTNOTE_ANSWER")) return strcmp(a, "yes") == 0;
    if (!gtk_init_check(nullptr, nullptr)) return false;  // no desktop to ask on: nothing is sent
    std::string text = Charset::GbkToUtf8("程序意外关闭了。是否把错误报告发送给我们，帮助我们改进程序？");
    GtkWidget* d =
        gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(d), "Faultnote");
    bool yes = gtk_dialog_run(GTK_DIALOG(d)) == GTK_RESPONSE_YES;
    gtk_widget_destroy(d);
    return yes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return faultnote::kBadDump;
    InitZqHttpMgr();
    int r = faultnote::Report(argv[1], AfxGetConfigManager(), AfxGetHttpRequestMgr(), Ask);
    AfxReleaseHttpRequestMgr();
    UninitZqHttpMgr();
    AfxReleaseConfigManager();
    return r;
}
