// Recursive copy, move and delete of folder trees, depth-first, on ANSI paths. Both report only
// whether every folder they tried to list could be listed.
#ifndef TAVREL_FOLDER_TREE_H
#define TAVREL_FOLDER_TREE_H

// Copies (keepSource) or moves everything below sourceRoot\relative to destRoot\relative.
// Callers pass relative as "". destRoot itself is created (one level) once the top listing works.
bool CopyTree(const char* sourceRoot, const char* destRoot, const char* relative, bool keepSource);
// Deletes everything below root\relative and then the folder itself. Callers pass relative as "".
bool DeleteTree(const char* root, const char* relative);

#endif
