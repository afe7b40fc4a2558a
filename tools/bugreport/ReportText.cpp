#include "ReportText.h"

bool ExtractReportText(const QByteArray& page, QByteArray& text)
{
    const qsizetype open = page.indexOf("<textarea");
    const qsizetype start = open < 0 ? -1 : page.indexOf('>', open);
    const qsizetype end = start < 0 ? -1 : page.indexOf("</textarea>", start);
    if (end < 0)
        return false;
    text = page.mid(start + 1, end - start - 1);
    return true;
}
