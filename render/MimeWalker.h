#pragma once
// Finds what a parsed message shows: its body text and the parts its HTML
// may show in place. (Its attachments: AttachmentFinder.)

#include "render/RenderedMessage.h"

#include <cstddef>
#include <string>
#include <vector>

typedef struct _GMimeObject GMimeObject;
typedef struct _GMimePart GMimePart;
typedef struct _GMimeMultipart GMimeMultipart;

namespace render {

// One piece of body text, decoded to UTF-8.
struct BodySection {
    bool isHtml = false;
    std::string text;
    bool cut = false;  // longer than the limit; this is its start
};

// How to walk a message.
struct WalkOptions {
    // The message's text has gaps (kGapByte): Base64 is decoded around
    // them, broken quoted-printable escapes next to them are dropped, body
    // text and names carry kGapMark, and a transfer encoding or charset the
    // damage took is taken from what the rest of the message shows.
    bool gaps = false;
    // Of alternatives, show the plain text rather than the HTML.
    bool preferPlain = false;
};

class MimeWalker {
public:
    explicit MimeWalker(WalkOptions options = {}) : options_(options) {}

    // Walks the tree under root (which stays owned by the caller). Nesting
    // and the number of parts are bounded; parts beyond the bounds are
    // skipped.
    void Walk(GMimeObject* root);

    // Body text in message order: the chosen alternative of every
    // multipart/alternative, the root of every multipart/related and every
    // text part that is not an attachment.
    const std::vector<BodySection>& Bodies() const { return bodies_; }
    std::map<std::string, Part>& InlineParts() { return inlineParts_; }

private:
    void Visit(GMimeObject* object, int depth);
    void VisitMultipart(GMimeMultipart* multipart, int depth);
    void VisitRelated(GMimeMultipart* multipart, int depth);
    void VisitLeaf(GMimePart* part);
    void AddInline(GMimePart* part);
    bool IsBodyText(GMimeObject* object) const;
    std::string Content(GMimePart* part, std::size_t cap, bool& cut, bool* damaged = nullptr) const;

    WalkOptions options_;
    std::string messageCharset_;  // the one charset the message's text parts name, if one
    std::vector<BodySection> bodies_;
    std::map<std::string, Part> inlineParts_;
    std::size_t partsSeen_ = 0;
    std::size_t inlineBytes_ = 0;
};

} // namespace render
