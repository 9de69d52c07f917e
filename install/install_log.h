// The installation's "install.log": a 32-bit count followed by NUL-terminated names. The updater
// never creates one and never reads its names; it only appends the files it brings in.
#ifndef TAVREL_INSTALL_LOG_H
#define TAVREL_INSTALL_LOG_H

// Appends relativeName (a record name, relative to g_installDir) to the log in the install
// folder, else to the first log found in the folders along the name's own path, shallowest
// first, and adds one to its count. Silent when there is no log or it cannot be opened.
void AppendToInstallLog(const char* relativeName);

#endif
