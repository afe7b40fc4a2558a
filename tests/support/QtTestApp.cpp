#include "support/QtTestApp.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <memory>

namespace testsupport {
namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        // No display is needed or wanted, however the tests are started.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        // The main dialog lists the Outlook Express store of the Wine prefix
        // at start: the tests' windows must not depend on the machine's own
        // ~/.wine. A test that wants a store points WINEPREFIX at its own.
        qputenv("WINEPREFIX", "/nonexistent/quillmend-tests-no-wine-prefix");
        static int argc = 1;
        static char name[] = "quillmend-tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Quillmend"));
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace

QImage Grab(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QString SaveScreenshot(const QImage& image, const QString& name) {
#ifdef QUILLMEND_SCREENSHOT_DIR
    const QString dir = QStringLiteral(QUILLMEND_SCREENSHOT_DIR);
#else
    const QString dir = QDir::tempPath();
#endif
    const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    QDir().mkpath(QFileInfo(path).absolutePath());  // names may hold a folder
    return image.save(path, "PNG") ? path : QString();
}

} // namespace testsupport
