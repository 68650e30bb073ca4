#pragma once

#include <string>

class JobWindow;

// Deletes every file in a folder and its sub-folders, then the folders.
// Files that cannot be deleted are passed over; a folder that cannot be
// removed is reported in a message box. Returns 0 when the folder is gone.
int DeleteFolderTree(const std::string& folder, JobWindow& window);
