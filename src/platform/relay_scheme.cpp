#include "platform/relay_scheme.h"

#include <gio/gio.h>

#include <string_view>

#include "platform/gobject_ptr.h"
#include "platform/relay_page.h"

namespace xm {
namespace {

constexpr const char* kScheme = "xingmu";
constexpr const char* kHost = "relay";
constexpr std::string_view kPagePath = "/ckplayer/play.html";

// True for xingmu://relay/ckplayer/play.html with or without a query or fragment. The address is
// split without decoding, so whatever follows "?" cannot make it fail.
bool IsRelayPage(const char* uri) {
  char* host = nullptr;
  char* path = nullptr;
  const bool split =
      g_uri_split(uri, static_cast<GUriFlags>(G_URI_FLAGS_ENCODED | G_URI_FLAGS_PARSE_RELAXED),
                  nullptr, nullptr, &host, nullptr, &path, nullptr, nullptr, nullptr);
  const bool match = split && host != nullptr && g_ascii_strcasecmp(host, kHost) == 0 &&
                     path != nullptr && kPagePath == path;
  g_free(host);
  g_free(path);
  return match;
}

void AnswerRequest(WebKitURISchemeRequest* request, gpointer /*user_data*/) {
  if (!IsRelayPage(webkit_uri_scheme_request_get_uri(request))) {
    GError* error = g_error_new(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "No such page: %s",
                                webkit_uri_scheme_request_get_uri(request));
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
    return;
  }
  const std::string_view page = kRelayPage;
  GObjectPtr<GInputStream> stream(
      g_memory_input_stream_new_from_data(page.data(), static_cast<gssize>(page.size()), nullptr));
  GObjectPtr<WebKitURISchemeResponse> response(
      webkit_uri_scheme_response_new(stream.get(), static_cast<gint64>(page.size())));
  webkit_uri_scheme_response_set_content_type(response.get(), "text/html; charset=utf-8");
  webkit_uri_scheme_request_finish_with_response(request, response.get());
}

}  // namespace

void RegisterRelayScheme(WebKitWebContext* context) {
  webkit_web_context_register_uri_scheme(context, kScheme, AnswerRequest, nullptr, nullptr);
}

}  // namespace xm
