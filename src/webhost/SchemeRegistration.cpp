#include "SchemeRegistration.h"

#include <libsoup/soup.h>

#include <string>

#include "base/Callbacks.h"

#include "BundleSchemeHandler.h"

namespace mlfk {
namespace {

void answer(WebKitURISchemeRequest* request, gpointer data) {
  const auto* handler = static_cast<const BundleSchemeHandler*>(data);
  const char* uri = webkit_uri_scheme_request_get_uri(request);
  // The body's bytes stay where they were read; the stream frees them. A
  // response that cannot be made (out of memory) fails the request rather
  // than unwinding into WebKit.
  SchemeResponse* held = nullptr;
  auto respond = [&] { held = new SchemeResponse(handler->respond(uri ? uri : "")); };
  glib::guarded(respond);
  if (!held) {
    g_autoptr(GError) error =
        g_error_new_literal(G_IO_ERROR, G_IO_ERROR_FAILED, "The file could not be read.");
    webkit_uri_scheme_request_finish_error(request, error);
    return;
  }
  GBytes* bytes = g_bytes_new_with_free_func(
      held->body.data(), held->body.size(),
      [](gpointer r) { delete static_cast<SchemeResponse*>(r); }, held);
  const gint64 length = held->status == 200 ? static_cast<gint64>(held->body.size()) : -1;
  g_autoptr(GInputStream) stream = g_memory_input_stream_new_from_bytes(bytes);
  g_autoptr(WebKitURISchemeResponse) reply = webkit_uri_scheme_response_new(stream, length);
  webkit_uri_scheme_response_set_status(reply, static_cast<guint>(held->status), nullptr);
  SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  for (const auto& [name, value] : held->headers) {
    soup_message_headers_append(headers, name.c_str(), value.c_str());
    if (name == "Content-Type") webkit_uri_scheme_response_set_content_type(reply, value.c_str());
  }
  webkit_uri_scheme_response_set_http_headers(reply, headers);
  g_bytes_unref(bytes);
  webkit_uri_scheme_request_finish_with_response(request, reply);
}

}  // namespace

void registerBundleScheme(WebKitWebContext* context, const std::filesystem::path& root) {
  const std::string scheme(kAppScheme);
  webkit_web_context_register_uri_scheme(
      context, scheme.c_str(), answer, new BundleSchemeHandler(root),
      [](gpointer handler) { delete static_cast<BundleSchemeHandler*>(handler); });
  WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
  webkit_security_manager_register_uri_scheme_as_secure(security, scheme.c_str());
  webkit_security_manager_register_uri_scheme_as_cors_enabled(security, scheme.c_str());
  // Not registered as local: WebKit then treats the page's own module
  // scripts as cross-origin and refuses them.
}

}  // namespace mlfk
