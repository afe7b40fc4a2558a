#pragma once
// The preview pane: shows the start page or the selected e-mail, and deletes
// each document's file once it has been shown.

#include "dbx/TextDamage.h"
#include "render/RenderedMessage.h"

#include <QTextBrowser>

#include <memory>
#include <vector>

class CEmailPreviewWindow : public QTextBrowser {
    Q_OBJECT

public:
    // The only way to make a preview (the browse window creates it through
    // this). The view has no parent until it is given one.
    static CEmailPreviewWindow* CreateObject();
    ~CEmailPreviewWindow() override;

    // Shows the file at path: an .htm or .html file as the page it is (it may
    // use files from its own folder), any other file as a stored message,
    // rendered safely. Once shown, documentComplete(path) is raised from the
    // event loop and the file is deleted; a read-only file stays. A missing
    // or unreadable file shows an empty page and is reported all the same.
    // `damage` says where a stored message's bytes are not the sender's (a
    // deleted e-mail): the view reads around those gaps and marks them.
    void Navigate2(const QString& path, const dbx::TextDamage& damage = {});

    // The attachments of the message shown, as its page lists them (none
    // for a page or an empty view).
    const std::vector<render::Attachment>& Attachments() const;
    // The link of the attachments' list that has the keyboard's focus: an
    // attachment's number, kSaveAllLink, or kNoLink.
    static constexpr int kSaveAllLink = -1;
    static constexpr int kNoLink = -2;
    int FocusedLink() const { return focusedLink_; }

    // Serves only the pictures of the message shown (cid:, data:) and, for
    // a page, files in that page's own folder; nothing else, and never from
    // the network: any other request gets no data.
    QVariant loadResource(int type, const QUrl& name) override;

signals:
    // The document from path has been loaded.
    void documentComplete(const QString& path);
    // A link of the attachments' list was clicked, or Enter pressed on it
    // (Tab moves from one to the next): an attachment's number, or
    // kSaveAllLink. Nothing is ever opened or run by the view itself.
    void attachmentActivated(int link);

protected:
    CEmailPreviewWindow();

    bool event(QEvent* e) override;
    bool viewportEvent(QEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    bool focusNextPrevChild(bool next) override;

private slots:
    void OnDocumentComplete(const QString& path);

private:
    QVariant PageFile(int type, const QUrl& name) const;
    // The links of the attachments' list, in the page's order.
    std::vector<int> Links() const;
    // Gives the keyboard's focus to `link` (kNoLink: to none): its text is
    // selected and scrolled into view.
    void FocusLink(int link);

    std::unique_ptr<render::RenderedMessage> message_;  // the message shown, if one is
    QString pageFolder_;  // the folder of the page shown, if a page is
    int focusedLink_ = kNoLink;
};
