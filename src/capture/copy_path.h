// Names of the saved copies of snapshots: "glintor" + number + ".jpg" in the copies folder.
#pragma once

#include <string>

// The full path of the lowest free copy name in the folder, or an empty text when no copy is
// to be made (no such folder, a folder text too long for a path, or every number taken).
std::string make_copy_path(std::string folder);
