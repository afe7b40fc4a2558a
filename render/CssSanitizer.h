#pragma once
// Style sheets from a message, with everything that could load or run taken
// out.

#include <string>
#include <string_view>

namespace render {

// The CSS with comments and escapes resolved, @import rules removed, every
// url() that does not name a part of the message (cid:) replaced by "none",
// and script hooks (expression(), behavior, -moz-binding, javascript:,
// image-set()) disabled. The result contains no "<", so it can be placed in
// a <style> element as it is.
std::string SanitizeCss(std::string_view css);

} // namespace render
