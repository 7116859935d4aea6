// GTK 3 backend: the open-file and save-file dialogs.

#include <unistd.h>

#include <vector>

#include "platform/gtk/backend.h"

namespace sorvane::platform::gtk {

namespace {

std::string trimmed(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

// "*.txt", ".txt" and "txt" all mean ".txt"; a pattern such as "*.*" adds nothing.
std::string extensionPart(const std::string& defaultExtension) {
  std::string ext = trimmed(defaultExtension);
  while (!ext.empty() && ext.front() == '*') ext.erase(ext.begin());
  if (ext.empty() || ext == ".") return {};
  if (ext.front() != '.') ext.insert(ext.begin(), '.');
  if (ext.find_first_of("*?;/") != std::string::npos) return {};
  return ext;
}

std::string baseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string dirName(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string absolute(const std::string& path, const std::string& base) {
  if (path.empty() || path.front() == '/') return path;
  return GChars(g_build_filename(base.c_str(), path.c_str(), nullptr)).get();
}

bool exists(const std::string& path) { return g_file_test(path.c_str(), G_FILE_TEST_EXISTS); }

std::string currentDirectory() {
  return GChars(g_get_current_dir()).get();
}

void addFilters(GtkFileChooser* chooser, const FileDialogRequest& request) {
  std::vector<GtkFileFilter*> added;
  for (const auto& [description, patterns] : request.filters) {
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter,
                             validUtf8(description.empty() ? patterns : description).c_str());
    gchar** parts = g_strsplit(patterns.c_str(), ";", -1);
    for (gchar** p = parts; *p; ++p) {
      std::string pattern = trimmed(*p);
      if (!pattern.empty()) gtk_file_filter_add_pattern(filter, validUtf8(pattern).c_str());
    }
    g_strfreev(parts);
    gtk_file_chooser_add_filter(chooser, filter);  // takes the floating reference
    added.push_back(filter);
  }
  if (request.filterIndex >= 0 && request.filterIndex < static_cast<int>(added.size()))
    gtk_file_chooser_set_filter(chooser, added[static_cast<size_t>(request.filterIndex)]);
}

// Folder and name shown first. A name with a folder in it decides the folder,
// as it does in the classic dialog.
void setInitialPlace(GtkFileChooser* chooser, const FileDialogRequest& request) {
  std::string cwd = currentDirectory();
  std::string folder =
      request.initialDirectory.empty() ? cwd : absolute(request.initialDirectory, cwd);
  std::string name = request.fileName;
  if (name.find('/') != std::string::npos) {
    std::string full = absolute(name, folder);
    folder = dirName(full);
    name = baseName(full);
  }
  gtk_file_chooser_set_current_folder(chooser, folder.c_str());
  if (name.empty()) return;
  if (request.save) {
    gtk_file_chooser_set_current_name(chooser, validUtf8(name).c_str());
  } else {
    std::string full = absolute(name, folder);
    if (exists(full)) gtk_file_chooser_set_filename(chooser, full.c_str());
  }
}

}  // namespace

std::optional<std::string> GtkPlatform::fileDialog(const FileDialogRequest& request) {
  GtkWindow* parent = dialogParent(request.owner);
  std::string title =
      request.title.empty() ? (request.save ? "另存为" : "打开") : validUtf8(request.title);
  GtkWidget* dialog = gtk_file_chooser_dialog_new(
      title.c_str(), parent,
      request.save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN, "取消",
      GTK_RESPONSE_CANCEL, request.save ? "保存(_S)" : "打开(_O)", GTK_RESPONSE_ACCEPT, nullptr);
  DialogGuard guard{dialog};
  auto* chooser = GTK_FILE_CHOOSER(dialog);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_file_chooser_set_local_only(chooser, TRUE);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
  // GTK's own question covers the name as typed; a name that gets the default
  // extension appended is asked about below.
  gtk_file_chooser_set_do_overwrite_confirmation(chooser, request.save && request.overwritePrompt);
  addFilters(chooser, request);
  setInitialPlace(chooser, request);
  const std::string ext = extensionPart(request.defaultExtension);

  gtk_window_present(GTK_WINDOW(dialog));
  for (;;) {
    if (gtk_dialog_run(GTK_DIALOG(dialog)) != GTK_RESPONSE_ACCEPT) return std::nullopt;
    const GChars chosen(gtk_file_chooser_get_filename(chooser));
    if (!chosen) return std::nullopt;
    std::string path(chosen.get());
    bool appended = false;
    if (!ext.empty() && baseName(path).find('.') == std::string::npos &&
        (request.save || !exists(path))) {
      path += ext;
      appended = true;
    }
    if (appended && request.save && request.overwritePrompt && exists(path)) {
      std::string question = baseName(path) + " 已存在。\n要替换它吗？";
      if (messageBoxIn(GTK_WINDOW(dialog), question, title, box::kYesNo | box::kIconWarning) !=
          box::kResultYes)
        continue;  // back to the dialog for another name
    }
    if (!request.keepCurrentDirectory) {
      std::string folder = dirName(path);
      if (!folder.empty() && chdir(folder.c_str()) != 0) {
        // The choice stands even where the folder cannot be entered.
      }
    }
    return path;
  }
}

}  // namespace sorvane::platform::gtk
