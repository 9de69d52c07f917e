#include "update/update_run.h"

// The run itself lands with the save-data guard and the record loop.
void RunUpdate(HWND) {}
