// GTK 3 backend: the message box and the folder picker.
//
// Each is modal over the main window and runs a nested loop, so timers keep
// ticking while the user thinks, and clicks on the main window go nowhere.

#include <atk/atk.h>

#include <vector>

#include "platform/box_buttons.h"
#include "platform/gtk/backend.h"

namespace sorvane::platform::gtk {

namespace {

constexpr int kResponseBase = 100;  // response id = result code + this

const char* iconName(unsigned icon) {
  switch (icon) {
    case box::kIconError:
      return "dialog-error";
    case box::kIconQuestion:
      return "dialog-question";
    case box::kIconWarning:
      return "dialog-warning";
    case box::kIconInformation:
      return "dialog-information";
    default:
      return nullptr;
  }
}

std::string withoutMnemonic(const char* label) {
  std::string out;
  for (const char* c = label; *c; ++c)
    if (*c != '_') out += *c;
  return out;
}

gboolean keepOpen(GtkWidget*, GdkEvent*, gpointer) { return TRUE; }

}  // namespace

namespace {

// A window only takes the keyboard focus once it is on screen; without a
// window manager to hand it over, the dialog asks for it itself.
gboolean focusWhenMapped(GtkWidget* dialog, GdkEvent*, gpointer) {
  gtk_window_present(GTK_WINDOW(dialog));
  return FALSE;
}

}  // namespace

DialogGuard::DialogGuard(GtkWidget* d) : dialog(d) {
  g_object_ref(dialog);
  g_signal_connect(dialog, "map-event", G_CALLBACK(focusWhenMapped), nullptr);
}

DialogGuard::~DialogGuard() {
  GtkWindow* parent = gtk_window_get_transient_for(GTK_WINDOW(dialog));
  if (parent) g_object_ref(parent);
  if (!gtk_widget_in_destruction(dialog)) gtk_widget_destroy(dialog);
  g_object_unref(dialog);
  // The window the dialog was over becomes the active one again.
  if (parent) {
    if (gtk_widget_get_visible(GTK_WIDGET(parent))) gtk_window_present(parent);
    g_object_unref(parent);
  }
}

namespace {

void nameForAssistiveTools(GtkWidget* widget, const std::string& name) {
  if (AtkObject* a = gtk_widget_get_accessible(widget)) atk_object_set_name(a, name.c_str());
}

}  // namespace

int GtkPlatform::messageBox(const std::string& text, const std::string& caption, unsigned flags) {
  return messageBoxIn(dialogParent(), text, caption, flags);
}

int GtkPlatform::messageBoxIn(GtkWindow* parent, const std::string& text,
                              const std::string& caption, unsigned flags) {
  const std::span<const box::Button> buttons = box::buttons(flags);
  if (buttons.empty() || !gdk_display_get_default()) return 0;
  const std::optional<int> onClose = box::closeAnswer(flags);

  GtkWidget* dialog = gtk_dialog_new();
  DialogGuard guard{dialog};
  gtk_window_set_title(GTK_WINDOW(dialog), validUtf8(caption).c_str());
  gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_skip_taskbar_hint(GTK_WINDOW(dialog), TRUE);
  if (parent) {
    gtk_window_set_transient_for(GTK_WINDOW(dialog), parent);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);
  } else {
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  }
  if (!onClose) {
    // No close button, and Esc (which GTK turns into a close request) is ignored.
    gtk_window_set_deletable(GTK_WINDOW(dialog), FALSE);
    g_signal_connect(dialog, "delete-event", G_CALLBACK(keepOpen), nullptr);
  }

  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
  gtk_container_set_border_width(GTK_CONTAINER(row), 12);
  if (const char* icon = iconName(flags & box::kIconMask)) {
    GtkWidget* image = gtk_image_new_from_icon_name(icon, GTK_ICON_SIZE_DIALOG);
    gtk_widget_set_valign(image, GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
  }
  GtkWidget* message = gtk_label_new(validUtf8(text).c_str());
  gtk_label_set_line_wrap(GTK_LABEL(message), TRUE);
  gtk_label_set_line_wrap_mode(GTK_LABEL(message), PANGO_WRAP_WORD_CHAR);
  gtk_label_set_max_width_chars(GTK_LABEL(message), 60);
  gtk_label_set_xalign(GTK_LABEL(message), 0.0f);
  gtk_widget_set_valign(message, GTK_ALIGN_CENTER);
  gtk_box_pack_start(GTK_BOX(row), message, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), row, TRUE, TRUE, 0);
  gtk_widget_show_all(row);

  std::vector<GtkWidget*> made;
  for (const box::Button& b : buttons) {
    GtkWidget* button =
        gtk_dialog_add_button(GTK_DIALOG(dialog), b.caption, kResponseBase + b.result);
    nameForAssistiveTools(button, withoutMnemonic(b.caption));
    made.push_back(button);
  }
  const std::size_t initial = box::defaultButton(flags);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), kResponseBase + buttons[initial].result);
  gtk_widget_grab_focus(made[initial]);

  gtk_window_present(GTK_WINDOW(dialog));
  for (;;) {
    int response = gtk_dialog_run(GTK_DIALOG(dialog));
    if (response >= kResponseBase) return response - kResponseBase;
    if (onClose) return *onClose;
    if (response == GTK_RESPONSE_NONE) return 0;  // destroyed under us
  }
}

std::optional<std::string> GtkPlatform::browseForFolder(const std::string& prompt, bool) {
  GtkWindow* parent = dialogParent();
  GtkWidget* dialog = gtk_file_chooser_dialog_new(
      validUtf8(prompt).c_str(), parent, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "取消",
      GTK_RESPONSE_CANCEL, "选择", GTK_RESPONSE_ACCEPT, nullptr);
  DialogGuard guard{dialog};
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(dialog), TRUE);
  gtk_file_chooser_set_create_folders(GTK_FILE_CHOOSER(dialog), TRUE);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
  const GChars cwd(g_get_current_dir());
  gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), cwd.get());

  gtk_window_present(GTK_WINDOW(dialog));
  if (gtk_dialog_run(GTK_DIALOG(dialog)) != GTK_RESPONSE_ACCEPT) return std::nullopt;
  const GChars chosen(gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog)));
  if (!chosen) return std::nullopt;  // a place without a local path
  std::string path(chosen.get());
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace sorvane::platform::gtk
