// quillmend-bugreport: started by Quillmend after a crash, in the folder
// that holds the report page, with no arguments. A page path may be given
// to look at a kept report.

#include "CBugReportWindow.h"

#include <QApplication>
#include <QFile>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmend Bug Report"));
    const QStringList args = QApplication::arguments();
    QFile file(args.size() > 1 ? args.at(1) : QStringLiteral("bugreport.htm"));
    const QByteArray page = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    CBugReportWindow window(page);
    window.show();
    return app.exec();
}
