#pragma once
// Style sheets and style attributes from a message, reduced to declarations
// that only change looks.
//
// The CSS is split into tokens as a browser splits it (comments and escapes
// resolved). Each declaration, selector and media query that may stay is
// written out again, and that text itself is then checked: read back into
// tokens, it must give exactly the tokens meant, every one of them allowed.
// Whatever fails is left out whole. So nothing is ever made by taking
// characters out, and what is checked is what is emitted.
//
// A declaration stays when its property only changes looks (no behavior,
// -moz-binding, position, content, cursor, ...) and its value holds only
// keywords, numbers, colours, strings, rgb(), rgba(), hsl(), hsla(), calc()
// and url(cid:...), a part of the message itself. Any other url() becomes
// "none"; any other function takes its declaration with it.

#include <string>
#include <string_view>

namespace render {

// A style sheet (the content of a <style> element): rules with allowed
// selectors and @media rules; every other at-rule (@import, @font-face, ...)
// goes. The result has no "<", "&", "\" or comment, so it can be placed in a
// <style> element as it is.
std::string SanitizeStyleSheet(std::string_view css);

// A declaration list (a style attribute, references already decoded):
// "name: value" pairs joined by "; ", or an empty text when none may stay.
// Same characters as above, so it needs only HTML escaping for an attribute.
std::string SanitizeInlineStyle(std::string_view declarations);

} // namespace render
