#include "StoreFolder.h"

#include "browse/CDbxBrowseWindow.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "store/StoreDiscovery.h"

#include <QTreeWidget>

std::string FindStoreFolder()
{
    return store::FindStoreFolder();
}

void LoadStoreFolder(CDbxBrowseWindow& browse)
{
    const store::StoreFolder found = store::OpenStoreFolder(FindStoreFolder());
    QTreeWidgetItem* node = browse.AddFolderNode(res::Text(IDS_STORE_FOLDER));
    for (const store::MailFile& file : found.files)
        browse.AddDbxFile(node, file.path);
    // The first visible node: at start-up the tree is not scrolled, so it is
    // the first top-level node, normally the store's.
    QTreeWidget& tree = browse.Tree();
    if (QTreeWidgetItem* first = tree.topLevelItem(0))
        first->setExpanded(true);
}
