// GTK 3 backend: everything a page may ask of the browser, answered without
// a window, a dialog or a file.

#include <webkit2/webkit2.h>

#include "platform/gtk/backend.h"
#include "platform/gtk/engine.h"

namespace sorvane::platform::gtk {

namespace {

gboolean onScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer) {
  switch (WK(webkit_script_dialog_get_dialog_type)(dialog)) {
    case WEBKIT_SCRIPT_DIALOG_CONFIRM:
    case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
      // Leaving a page must never hang on a question nobody sees.
      WK(webkit_script_dialog_confirm_set_confirmed)(dialog, TRUE);
      break;
    case WEBKIT_SCRIPT_DIALOG_PROMPT:
      WK(webkit_script_dialog_prompt_set_text)(
          dialog, WK(webkit_script_dialog_prompt_get_default_text)(dialog));
      break;
    default:
      break;
  }
  return TRUE;
}

gboolean refuse(WebKitWebView*, gpointer) { return TRUE; }

gboolean refusePrint(WebKitWebView*, WebKitPrintOperation*, gpointer) { return TRUE; }

gboolean refuseAuthentication(WebKitWebView*, WebKitAuthenticationRequest* request, gpointer) {
  WK(webkit_authentication_request_cancel)(request);
  return TRUE;
}

gboolean refuseFileChooser(WebKitWebView*, WebKitFileChooserRequest* request, gpointer) {
  WK(webkit_file_chooser_request_cancel)(request);
  return TRUE;
}

gboolean refusePermission(WebKitWebView*, WebKitPermissionRequest* request, gpointer) {
  WK(webkit_permission_request_deny)(request);
  return TRUE;
}

gboolean refuseContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                           gpointer) {
  return TRUE;
}

gboolean refuseColourChooser(WebKitWebView*, WebKitColorChooserRequest* request, gpointer) {
  WK(webkit_color_chooser_request_cancel)(request);
  return TRUE;
}

gboolean refuseOptionMenu(WebKitWebView*, WebKitOptionMenu* menu, GdkEvent*, GdkRectangle*,
                          gpointer) {
  WK(webkit_option_menu_close)(menu);
  return TRUE;
}

gboolean refuseNotification(WebKitWebView*, WebKitNotification*, gpointer) { return TRUE; }

GtkWidget* refuseNewWindow(WebKitWebView*, WebKitNavigationAction*, gpointer) { return nullptr; }

bool isAttachment(WebKitURIResponse* response) {
  SoupMessageHeaders* headers = WK(webkit_uri_response_get_http_headers)(response);
  const char* disposition =
      headers ? WK(soup_message_headers_get_one)(headers, "Content-Disposition") : nullptr;
  return disposition && g_ascii_strncasecmp(disposition, "attachment", 10) == 0;
}

gboolean decidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                      gpointer) {
  if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    WK(webkit_policy_decision_ignore)(decision);
    return TRUE;
  }
  if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
    auto* response = reinterpret_cast<WebKitResponsePolicyDecision*>(decision);
    // What cannot be shown, or is sent as an attachment, would become a
    // download: drop it instead.
    if (!WK(webkit_response_policy_decision_is_mime_type_supported)(response) ||
        isAttachment(WK(webkit_response_policy_decision_get_response)(response))) {
      WK(webkit_policy_decision_ignore)(decision);
      return TRUE;
    }
  }
  return FALSE;
}

}  // namespace

void refusePageRequests(WebKitWebView* view) {
  g_signal_connect(view, "script-dialog", G_CALLBACK(onScriptDialog), nullptr);
  g_signal_connect(view, "print", G_CALLBACK(refusePrint), nullptr);
  g_signal_connect(view, "authenticate", G_CALLBACK(refuseAuthentication), nullptr);
  g_signal_connect(view, "run-file-chooser", G_CALLBACK(refuseFileChooser), nullptr);
  g_signal_connect(view, "permission-request", G_CALLBACK(refusePermission), nullptr);
  g_signal_connect(view, "context-menu", G_CALLBACK(refuseContextMenu), nullptr);
  g_signal_connect(view, "run-color-chooser", G_CALLBACK(refuseColourChooser), nullptr);
  g_signal_connect(view, "show-option-menu", G_CALLBACK(refuseOptionMenu), nullptr);
  g_signal_connect(view, "show-notification", G_CALLBACK(refuseNotification), nullptr);
  g_signal_connect(view, "enter-fullscreen", G_CALLBACK(refuse), nullptr);
  g_signal_connect(view, "create", G_CALLBACK(refuseNewWindow), nullptr);
  g_signal_connect(view, "decide-policy", G_CALLBACK(decidePolicy), nullptr);
}

}  // namespace sorvane::platform::gtk
