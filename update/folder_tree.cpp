#include "update/folder_tree.h"

bool CopyTree(const char*, const char*, const char*, bool) { return false; }
bool DeleteTree(const char*, const char*) { return false; }
