#pragma once
// The program's own help window: the help page that ships with the program,
// shown read-only. Links inside the guide (to its sections, or to other
// pages in its folder) are followed; nothing is ever loaded from the network
// or from outside the guide's folder, and links that lead elsewhere do
// nothing. Help therefore works the same on every machine, with or without
// a web browser.

#include <QDialog>
#include <QTextBrowser>

class CHelpBrowser;

class CHelpWindow : public QDialog {
    Q_OBJECT
public:
    // A hidden window owned by `owner`.
    explicit CHelpWindow(QWidget* owner = nullptr);
    ~CHelpWindow() override;

    // Shows the page at `path` (an installed help page); an empty or missing
    // path shows a short note that the help page is missing.
    void ShowPage(const QString& path);
    // Follows a link of the page shown, as a click on it does.
    void FollowLink(const QUrl& link);

    QTextBrowser& Browser();

private:
    CHelpBrowser* browser_;
};

// The viewer inside the help window. It serves the page's own pictures and
// style sheets from the guide's folder and nothing else.
class CHelpBrowser : public QTextBrowser {
    Q_OBJECT
public:
    explicit CHelpBrowser(QWidget* parent = nullptr);

    // The folder whose files the page may use (canonical); empty: none.
    void SetGuideFolder(const QString& folder) { guideFolder_ = folder; }
    // The local file `link` leads to when it stays inside the guide's
    // folder (resolved against the page shown); empty otherwise.
    QString GuideFile(const QUrl& link) const;

    QVariant loadResource(int type, const QUrl& name) override;

private:
    QString guideFolder_;
};
