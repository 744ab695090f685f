// A bare WebKitGTK window: the floor the shell's start-up and bridge are
// measured against. It serves a folder through the same scheme code, loads
// a page, and answers "persist" messages by writing the content durably to
// a file, the least a shell must do for the same page.
//
//   bare_window WEB_ROOT OUTPUT_FILE [SCRIPT_FILE]
#include <webkit2/webkit2.h>

#include <string>

#include "store/DurableFile.h"
#include "webhost/BundleSchemeHandler.h"
#include "webhost/JscBridgeMessage.h"
#include "webhost/SchemeRegistration.h"

namespace {

std::string outputFile;

gboolean onMessage(WebKitUserContentManager*, JSCValue* value, WebKitScriptMessageReply* reply,
                   gpointer) {
  mlfk::JscBridgeMessage message(value);
  mlfk::JscBridgeReply answer(reply, jsc_value_get_context(value));
  if (auto content = message.text("content")) {
    if (auto failure = mlfk::writeFileDurably(outputFile, content->view)) {
      answer.value({{"ok", false}, {"error", *failure}});
      return TRUE;
    }
  }
  answer.value({{"ok", true}});
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  if (argc < 3) return 2;
  outputFile = argv[2];
  // The default context, with its persistent storage, as any WebKitGTK
  // program that shows a page gets.
  WebKitWebContext* context = webkit_web_context_get_default();
  mlfk::registerBundleScheme(context, argv[1]);
  WebKitUserContentManager* content = webkit_user_content_manager_new();
  if (argc > 3) {
    auto script = mlfk::readWholeFile(argv[3]);
    if (script) {
      g_autoptr(WebKitUserScript) user =
          webkit_user_script_new(script->c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                 WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
      webkit_user_content_manager_add_script(content, user);
    }
  }
  webkit_user_content_manager_register_script_message_handler_with_reply(
      content, "meadowlineNative", nullptr);
  g_signal_connect(content, "script-message-with-reply-received::meadowlineNative",
                   G_CALLBACK(onMessage), nullptr);
  GtkWidget* view = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context,
                                            "user-content-manager", content, nullptr));
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 1320, 860);
  gtk_container_add(GTK_CONTAINER(window), view);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), "meadowline-farm://app/index.html");
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
