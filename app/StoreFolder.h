#pragma once
// The main dialog's start-up step that lists the current user's Outlook
// Express stores in the browse window.

#include <QString>

#include <string>

class CDbxBrowseWindow;

// The store folder of the first Outlook Express identity as the registry
// holds it (it may begin with an environment variable); "" when any step
// of the search fails, and then `why` (when given) says why, for people.
std::string FindStoreFolder(std::string* why = nullptr);

// Adds the folder node "Outlook Express - Local Folder" (in every case,
// also when no store was found) and under it every .dbx file of the store
// folder, opened but not scanned, in name order ignoring case; then
// expands the tree's first visible node. After it, one node "Outlook
// Express - <user name>" per other identity with a store folder of its own
// (see store::FurtherStores), holding its mail files. Runs once, when the
// dialog is set up, after the browse window exists. Returns what the
// status line says about the stores in place of the notice: why no store
// was found, or that the first identity has none while others have; ""
// when the first identity's store was found.
QString LoadStoreFolder(CDbxBrowseWindow& browse);
