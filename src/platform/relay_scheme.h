#pragma once

#include <webkit2/webkit2.h>

namespace xm {

// Serves the built-in relay player page as xingmu://relay/ckplayer/play.html (any query) on
// `context`; every other xingmu: address fails with a "not found" error. Call once per context,
// before a view of that context loads a xingmu: address.
void RegisterRelayScheme(WebKitWebContext* context);

}  // namespace xm
