#include "StoreFolder.h"

#include "browse/CDbxBrowseWindow.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "store/StoreDiscovery.h"

#include <QFile>
#include <QTreeWidget>

namespace {

// A path of ours (UTF-8 on Windows, the bytes of the name elsewhere) for Qt.
QString ToQString(const std::string& path)
{
#ifdef Q_OS_WIN
    return QString::fromStdString(path);
#else
    return QFile::decodeName(QByteArray::fromStdString(path));
#endif
}

} // namespace

std::string FindStoreFolder()
{
    return store::FindStoreFolder();
}

void LoadStoreFolder(CDbxBrowseWindow& browse)
{
    const store::StoreFolder found = store::OpenStoreFolder(FindStoreFolder());
    QTreeWidgetItem* node = browse.AddFolderNode(res::Text(IDS_STORE_FOLDER));
    for (const store::MailFile& file : found.files)
        browse.AddDbxFile(node, ToQString(file.path));
    // The first visible node: at start-up the tree is not scrolled, so it is
    // the first top-level node, normally the store's.
    QTreeWidget& tree = browse.Tree();
    if (QTreeWidgetItem* first = tree.topLevelItem(0))
        first->setExpanded(true);
}
