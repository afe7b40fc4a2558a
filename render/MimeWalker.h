#pragma once
// Finds what a parsed message shows: its body text, the parts its HTML may
// show in place, and its attachments.

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

class MimeWalker {
public:
    // Walks the tree under root (which stays owned by the caller). Nesting
    // and the number of parts are bounded; parts beyond the bounds are
    // skipped.
    void Walk(GMimeObject* root);

    // Body text in message order: the chosen alternative of every
    // multipart/alternative, the root of every multipart/related and every
    // text part that is not an attachment.
    const std::vector<BodySection>& Bodies() const { return bodies_; }
    std::map<std::string, Part>& InlineParts() { return inlineParts_; }
    std::vector<Attachment>& Attachments() { return attachments_; }

private:
    void Visit(GMimeObject* object, int depth);
    void VisitMultipart(GMimeMultipart* multipart, int depth);
    void VisitRelated(GMimeMultipart* multipart, int depth);
    void VisitLeaf(GMimePart* part);
    void AddAttachment(GMimeObject* object);
    void AddInline(GMimePart* part);
    bool IsBodyText(GMimeObject* object) const;

    std::vector<BodySection> bodies_;
    std::map<std::string, Part> inlineParts_;
    std::vector<Attachment> attachments_;
    std::size_t partsSeen_ = 0;
    std::size_t inlineBytes_ = 0;
};

} // namespace render
