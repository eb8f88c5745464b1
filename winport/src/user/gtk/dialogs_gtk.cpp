/*
 * Message boxes and the open-file dialog on a desktop, through GTK 3: a
 * GtkMessageDialog and a GtkFileChooserDialog, modal, built and answered on
 * the GTK thread while the caller's thread waits (and dispatches its own
 * messages through `abandon`, as Windows' modal loops do).
 */
#include "user/gtk/gtk_thread.h"

#include <gtk/gtk.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace winport::gtk {
namespace {

/* Texts longer than this (or with more lines) are shown scrolled, in a
 * fixed-width face: the caller is showing a log, not a sentence. */
constexpr size_t kLongText = 1500;
constexpr int kLongLines = 25;

/* An open dialog and its answer, written on the GTK thread. */
struct Waiting {
    std::mutex lock;
    std::condition_variable closed_cv;
    bool closed = false;
    int answer = 0;
    int closeId = 0;
    std::string path;
    GtkWidget *dialog = nullptr;
};

void Finish(Waiting *w, int answer)
{
    std::lock_guard<std::mutex> guard(w->lock);
    if (w->closed)
        return;
    w->answer = answer;
    w->closed = true;
    w->closed_cv.notify_all();
}

/* Waits for the answer; when abandoned, `fallback` answers and the dialog
 * is destroyed either way. */
int Await(Waiting &w, ShellAbandonFn abandon, void *context, int fallback)
{
    for (;;) {
        std::unique_lock<std::mutex> guard(w.lock);
        if (w.closed_cv.wait_for(guard, std::chrono::milliseconds(20), [&] { return w.closed; }))
            break;
        guard.unlock();
        if (abandon && abandon(context))
            Finish(&w, fallback);
    }
    OnGtkThread([&] { gtk_widget_destroy(w.dialog); });
    std::lock_guard<std::mutex> guard(w.lock);
    return w.answer;
}

/* Closing by Escape or the window's close button: never destroys the
 * dialog (Await does), and answers as a response would. */
void KeepOnDelete(GtkWidget *dialog)
{
    g_signal_connect(
        dialog, "delete-event",
        G_CALLBACK(+[](GtkWidget *, GdkEvent *, gpointer) -> gboolean { return TRUE; }), nullptr);
}

GtkMessageType MessageType(int icon)
{
    switch (icon) {
    case kShellIconError:
        return GTK_MESSAGE_ERROR;
    case kShellIconQuestion:
        return GTK_MESSAGE_QUESTION;
    case kShellIconWarning:
        return GTK_MESSAGE_WARNING;
    case kShellIconInfo:
        return GTK_MESSAGE_INFO;
    default:
        return GTK_MESSAGE_OTHER;
    }
}

bool IsLong(const std::string &text)
{
    int lines = 0;
    for (char c : text)
        lines += c == '\n';
    return text.size() > kLongText || lines > kLongLines;
}

/* A long text as a scrolled, read-only view showing its end. */
void AddScrolledText(GtkWidget *dialog, const std::string &text)
{
    GtkWidget *area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog));
    GtkWidget *scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_widget_set_size_request(scrolled, 560, 360);
    GtkWidget *view = gtk_text_view_new();
    gtk_text_view_set_editable(GTK_TEXT_VIEW(view), FALSE);
    gtk_text_view_set_monospace(GTK_TEXT_VIEW(view), TRUE);
    gtk_widget_set_can_focus(view, FALSE);
    GtkTextBuffer *buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    // GTK wants UTF-8: a log's other bytes are shown as the replacement mark.
    gchar *valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    gtk_text_buffer_set_text(buffer, valid, -1);
    g_free(valid);
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(buffer, &end);
    GtkTextMark *mark = gtk_text_buffer_create_mark(buffer, nullptr, &end, FALSE);
    gtk_text_view_scroll_to_mark(GTK_TEXT_VIEW(view), mark, 0, FALSE, 0, 1);
    gtk_container_add(GTK_CONTAINER(scrolled), view);
    gtk_box_pack_start(GTK_BOX(area), scrolled, TRUE, TRUE, 0);
}

GtkWidget *BuildMessage(const std::string &caption, const std::string &text, int icon, bool topmost,
                        const std::vector<ShellButton> &buttons,
                        const std::vector<std::string> &labels, int defaultId, Waiting *w)
{
    const bool isLong = IsLong(text);
    gchar *valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    GtkWidget *dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, MessageType(icon),
                                               GTK_BUTTONS_NONE, "%s", isLong ? "" : valid);
    g_free(valid);
    if (isLong)
        AddScrolledText(dialog, text);
    gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
    gtk_window_set_keep_above(GTK_WINDOW(dialog), topmost);
    for (size_t i = 0; i < buttons.size(); i++)
        gtk_dialog_add_button(GTK_DIALOG(dialog), labels[i].c_str(), buttons[i].id);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), defaultId);
    KeepOnDelete(dialog);
    g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkDialog *, gint response, gpointer data) {
                         auto *waiting = static_cast<Waiting *>(data);
                         const int answer =
                             response == GTK_RESPONSE_DELETE_EVENT ? waiting->closeId : response;
                         if (answer > 0)
                             Finish(waiting, answer);
                     }),
                     w);
    gtk_widget_show_all(dialog);
    // Return answers the default button, as on Windows.
    if (GtkWidget *button = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), defaultId))
        gtk_widget_grab_focus(button);
    gtk_window_present(GTK_WINDOW(dialog));
    return dialog;
}

void AddFilters(GtkFileChooser *chooser, const std::vector<std::string> &names,
                const std::vector<std::string> &patterns, int initial)
{
    for (size_t i = 0; i < names.size(); i++) {
        GtkFileFilter *filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, names[i].c_str());
        std::istringstream each(patterns[i]);
        for (std::string pattern; std::getline(each, pattern, ';');)
            if (!pattern.empty())
                gtk_file_filter_add_pattern(filter, pattern.c_str());
        gtk_file_chooser_add_filter(chooser, filter); // takes it
        if (static_cast<int>(i) == initial)
            gtk_file_chooser_set_filter(chooser, filter);
    }
}

} // namespace

int ShowMessage(const char *caption, const char *text, int icon, int topmost,
                const ShellButton *buttons, int count, int defaultId, int closeId,
                ShellAbandonFn abandon, void *context)
{
    const std::string captionCopy = caption ? caption : "", textCopy = text ? text : "";
    std::vector<ShellButton> buttonCopy(buttons, buttons + count);
    std::vector<std::string> labels;
    for (const ShellButton &button : buttonCopy)
        labels.emplace_back(button.label ? button.label : "");
    Waiting w;
    w.closeId = closeId;
    OnGtkThread([&] {
        w.dialog = BuildMessage(captionCopy, textCopy, icon, topmost != 0, buttonCopy, labels,
                                defaultId, &w);
    });
    return Await(w, abandon, context, closeId ? closeId : defaultId);
}

int OpenFile(const char *title, const char *folder, const char *file, const ShellFilter *filters,
             int count, int initial, char *chosen, size_t size, ShellAbandonFn abandon,
             void *context)
{
    const std::string titleCopy = title ? title : "", folderCopy = folder ? folder : "",
                      fileCopy = file ? file : "";
    std::vector<std::string> names, patterns;
    for (int i = 0; i < count; i++) {
        names.emplace_back(filters[i].name ? filters[i].name : "");
        patterns.emplace_back(filters[i].patterns ? filters[i].patterns : "");
    }
    Waiting w;
    OnGtkThread([&] {
        GtkWidget *dialog = gtk_file_chooser_dialog_new(
            titleCopy.c_str(), nullptr, GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
            GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
        GtkFileChooser *chooser = GTK_FILE_CHOOSER(dialog);
        gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
        gtk_file_chooser_set_local_only(chooser, TRUE);
        gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
        AddFilters(chooser, names, patterns, initial);
        if (!fileCopy.empty())
            gtk_file_chooser_set_filename(chooser, fileCopy.c_str());
        else if (!folderCopy.empty())
            gtk_file_chooser_set_current_folder(chooser, folderCopy.c_str());
        KeepOnDelete(dialog);
        g_signal_connect(dialog, "response",
                         G_CALLBACK(+[](GtkDialog *d, gint response, gpointer data) {
                             auto *waiting = static_cast<Waiting *>(data);
                             gchar *name = response == GTK_RESPONSE_ACCEPT
                                               ? gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(d))
                                               : nullptr;
                             {
                                 std::lock_guard<std::mutex> guard(waiting->lock);
                                 waiting->path = name ? name : "";
                             }
                             g_free(name);
                             Finish(waiting, name ? 1 : 0);
                         }),
                         &w);
        gtk_widget_show_all(dialog);
        gtk_window_present(GTK_WINDOW(dialog));
        w.dialog = dialog;
    });
    const int answer = Await(w, abandon, context, 0);
    if (answer != 1 || w.path.size() >= size)
        return 0;
    std::memcpy(chosen, w.path.c_str(), w.path.size() + 1);
    return 1;
}

} // namespace winport::gtk
