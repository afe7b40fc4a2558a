#include "StoreFolder.h"

#include "browse/CDbxBrowseWindow.h"
#include "res/Strings.h"
#include "res/resource.h"
#include "store/StoreDiscovery.h"
#include "ui/EnginePath.h"

#include <QTreeWidget>

namespace {

// An identity as its node names it: its user name, else its key, with
// control characters (a hostile registry's line breaks) as spaces.
QString ShownName(const store::IdentityStore& identity)
{
    QString name = QString::fromStdString(identity.username.empty() ? identity.identity : identity.username);
    for (QChar& c : name) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    return name;
}

QTreeWidgetItem* AddStoreNode(CDbxBrowseWindow& browse, const QString& text, const store::StoreFolder& found)
{
    QTreeWidgetItem* node = browse.AddFolderNode(text);
    for (const store::MailFile& file : found.files)
        browse.AddDbxFile(node, file.path);
    return node;
}

} // namespace

std::string FindStoreFolder(std::string* why)
{
    return store::FindStoreFolder(why);
}

QString LoadStoreFolder(CDbxBrowseWindow& browse)
{
    std::string why;
    const std::string value = FindStoreFolder(&why);
    const store::StoreFolder found = store::OpenStoreFolder(value);
    AddStoreNode(browse, res::Text(IDS_STORE_FOLDER), found);
    // The first visible node: at start-up the tree is not scrolled, so it is
    // the first top-level node, normally the store's.
    QTreeWidget& tree = browse.Tree();
    if (QTreeWidgetItem* first = tree.topLevelItem(0))
        first->setExpanded(true);

    // The other identities' stores, each under a node of its own.
    const std::vector<store::IdentityStore> identities = store::FindIdentityStores();
    const std::vector<const store::IdentityStore*> further = store::FurtherStores(identities);
    for (const store::IdentityStore* identity : further) {
        QTreeWidgetItem* node =
            AddStoreNode(browse, res::Format(IDS_IDENTITY_FOLDER, {ShownName(*identity)}), identity->store);
        node->setToolTip(0, ui::ShownPath(identity->store.folder));
    }
    if (found.found)
        return {};
    if (!further.empty())
        return res::Text(IDS_FIRST_IDENTITY_NO_STORE);
    return res::Format(IDS_NO_STORE, {QString::fromStdString(value.empty() ? why : found.why)});
}
