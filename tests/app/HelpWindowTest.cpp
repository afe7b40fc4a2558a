// The help window: the guide's own links work, nothing else is loaded.

#include "app/CHelpWindow.h"

#include "platform/ProgramPaths.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "support/QtTestApp.h"
#include "support/TempDir.h"

#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

QString Path(const testsupport::TempDir& dir, const char* name)
{
    return QString::fromStdString(dir.File(name));
}

} // namespace

TEST(HelpWindow, FollowsLinksInsideTheGuideOnlyAndSaysWhenThePageIsMissing)
{
    testsupport::TempDir dir;
    std::filesystem::create_directories(dir.File("guide"));
    testsupport::WriteFile(dir.File("guide/help.htm"),
                           "<p><a href=\"#keys\">Keys</a> <a href=\"more.htm#end\">More</a></p>"
                           "<img src=\"pic.png\"><img src=\"https://example.com/track.png\">"
                           "<h2 id=\"keys\">Keys</h2>");
    testsupport::WriteFile(dir.File("guide/more.htm"), "<p>more</p><a name=\"end\">end</a>");
    testsupport::WriteFile(dir.File("guide/pic.png"), "not really a picture");
    testsupport::WriteFile(dir.File("outside.htm"), "<p>outside</p>");

    CHelpWindow help;
    help.ShowPage(Path(dir, "guide/help.htm"));
    const QUrl start = help.Browser().source();
    EXPECT_TRUE(start.toLocalFile().endsWith(QStringLiteral("guide/help.htm")));

    const struct {
        const char* link;
        const char* expectedFile;  // nullptr: the page stays as it is
        const char* fragment;
    } links[] = {
        {"#keys", "guide/help.htm", "keys"},
        {"more.htm#end", "guide/more.htm", "end"},
        {"../outside.htm", nullptr, nullptr},
        {"https://example.com/", nullptr, nullptr},
        {"mailto:someone@example.com", nullptr, nullptr},
        {"file:///etc/passwd", nullptr, nullptr},
    };
    for (const auto& l : links) {
        help.ShowPage(Path(dir, "guide/help.htm"));
        help.FollowLink(QUrl(QString::fromUtf8(l.link)));
        const QUrl now = help.Browser().source();
        if (!l.expectedFile) {
            EXPECT_EQ(now, start) << l.link;
            continue;
        }
        EXPECT_EQ(now.toLocalFile(), QFileInfo(Path(dir, l.expectedFile)).canonicalFilePath()) << l.link;
        EXPECT_EQ(now.fragment(), QString::fromUtf8(l.fragment)) << l.link;
    }

    // Only files of the guide's folder are ever read; the network never.
    QTextBrowser& browser = help.Browser();
    EXPECT_TRUE(browser.loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("pic.png"))).isValid());
    for (const char* url : {"https://example.com/track.png", "http://example.com/x.css", "../outside.htm",
                            "ftp://example.com/a.png"})
        EXPECT_FALSE(browser.loadResource(QTextDocument::ImageResource, QUrl(QString::fromUtf8(url))).isValid()) << url;

    // A missing page says so.
    for (const QString& path : {QString(), QStringLiteral("/nonexistent/help.htm")}) {
        help.ShowPage(path);
        EXPECT_EQ(help.Browser().toPlainText(), res::Text(IDS_HELP_MISSING));
    }
}

// The installed guide is whole: its links lead to its own places, its
// pictures lie beside it.
TEST(HelpWindow, EveryLinkAndPictureOfTheInstalledGuideIsThere)
{
    const std::string page = platform::FindAsset("help.htm");
    ASSERT_FALSE(page.empty());
    CHelpWindow help;
    help.ShowPage(QString::fromStdString(page));
    // The places the viewer can scroll to.
    QStringList anchors;
    for (QTextBlock b = help.Browser().document()->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            anchors << it.fragment().charFormat().anchorNames();
    const QString html = QString::fromStdString(testsupport::ReadFile(page));
    int links = 0;
    for (const QRegularExpressionMatch& m : QRegularExpression(QStringLiteral("href=\"([^\"]*)\"")).globalMatch(html)) {
        const QString link = m.captured(1);
        ++links;
        ASSERT_TRUE(link.startsWith(QLatin1Char('#'))) << "the guide links only to itself: " << link.toStdString();
        EXPECT_TRUE(anchors.contains(link.mid(1))) << link.toStdString();
    }
    EXPECT_GE(links, 4);
    int pictures = 0;
    for (const QRegularExpressionMatch& m : QRegularExpression(QStringLiteral("<img[^>]*src=\"([^\"]+)\"")).globalMatch(html)) {
        ++pictures;
        EXPECT_FALSE(QImage(QFileInfo(QString::fromStdString(page)).dir().filePath(m.captured(1))).isNull())
            << m.captured(1).toStdString();
    }
    EXPECT_GE(pictures, 1);
}
