#include "platform/relay_scheme.h"

#include <gio/gio.h>

#include <string_view>

#include "platform/gobject_ptr.h"
#include "platform/relay_hls.h"
#include "platform/relay_page.h"

namespace xm {
namespace {

constexpr const char* kScheme = "xingmu";
constexpr const char* kHost = "relay";

// What the scheme serves: the relay page, and the HLS player script the page loads (by a relative
// address) when the engine cannot play an HLS list by itself. Everything else is "not found".
struct Resource {
  std::string_view path;
  std::string_view content;
  const char* content_type;
};

constexpr Resource kResources[] = {
    {"/ckplayer/play.html", kRelayPage, "text/html; charset=utf-8"},
    {"/ckplayer/hls.light.min.js", kRelayHlsScript, "application/javascript"},
};

// The resource at xingmu://relay/<path>, with or without a query or fragment, or null. The
// address is split without decoding, so whatever follows "?" cannot make it fail.
const Resource* FindResource(const char* uri) {
  char* host = nullptr;
  char* path = nullptr;
  const bool split =
      g_uri_split(uri, static_cast<GUriFlags>(G_URI_FLAGS_ENCODED | G_URI_FLAGS_PARSE_RELAXED),
                  nullptr, nullptr, &host, nullptr, &path, nullptr, nullptr, nullptr);
  const Resource* found = nullptr;
  if (split && host != nullptr && g_ascii_strcasecmp(host, kHost) == 0 && path != nullptr) {
    for (const Resource& resource : kResources) {
      if (resource.path == path) {
        found = &resource;
        break;
      }
    }
  }
  g_free(host);
  g_free(path);
  return found;
}

void AnswerRequest(WebKitURISchemeRequest* request, gpointer /*user_data*/) {
  const Resource* resource = FindResource(webkit_uri_scheme_request_get_uri(request));
  if (resource == nullptr) {
    GError* error = g_error_new(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "No such page: %s",
                                webkit_uri_scheme_request_get_uri(request));
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
    return;
  }
  const std::string_view content = resource->content;
  GObjectPtr<GInputStream> stream(g_memory_input_stream_new_from_data(
      content.data(), static_cast<gssize>(content.size()), nullptr));
  GObjectPtr<WebKitURISchemeResponse> response(
      webkit_uri_scheme_response_new(stream.get(), static_cast<gint64>(content.size())));
  webkit_uri_scheme_response_set_content_type(response.get(), resource->content_type);
  webkit_uri_scheme_request_finish_with_response(request, response.get());
}

}  // namespace

void RegisterRelayScheme(WebKitWebContext* context) {
  webkit_web_context_register_uri_scheme(context, kScheme, AnswerRequest, nullptr, nullptr);
}

}  // namespace xm
