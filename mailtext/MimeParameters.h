#pragma once
// Parameters of MIME header values (Content-Type, Content-Disposition) as
// people read them: the file name an attachment is given, for one.

#include <string>
#include <string_view>

namespace mailtext {

// The value of parameter `name` (any letter case) in a Content-Type or
// Content-Disposition value (the text after the colon, folded or not), as
// UTF-8: the RFC 2231 forms (name*=charset'language'%XX..., and the
// continuations name*0, name*1*, ...) joined in order and decoded in their
// charset, and otherwise the plain or quoted value with RFC 2047 encoded
// words decoded. Bytes in no known charset are read by the text rule,
// UTF-16 and UTF-32 without a byte-order mark big-endian. "" when the
// parameter is not there. Linear in the value's length.
std::string ParameterText(std::string_view headerValue, std::string_view name);

} // namespace mailtext
