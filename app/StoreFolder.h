#pragma once
// The main dialog's start-up step that lists the current user's Outlook
// Express store in the browse window.

#include <string>

class CDbxBrowseWindow;

// The store folder of the first Outlook Express identity as the registry
// holds it (it may begin with an environment variable); "" when any step
// of the search fails.
std::string FindStoreFolder();

// Adds the folder node "Outlook Express - Local Folder" (in every case,
// also when no store was found) and under it every .dbx file of the store
// folder, opened but not scanned, in name order ignoring case; then
// expands the tree's first visible node. Runs once, when the dialog is set
// up, after the browse window exists.
void LoadStoreFolder(CDbxBrowseWindow& browse);
