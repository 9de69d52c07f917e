#include "install/install_log.h"

void AppendToInstallLog(const char*) {}
