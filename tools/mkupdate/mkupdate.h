// The mkupdate command line. Exit codes: 0 done, 1 bad usage, 2 the update is invalid or could
// not be read or written.
#ifndef TAVREL_MKUPDATE_MKUPDATE_H
#define TAVREL_MKUPDATE_MKUPDATE_H

#include <ostream>
#include <string>
#include <vector>

const int kExitDone = 0;
const int kExitUsage = 1;
const int kExitInvalid = 2;

// args excludes the program name; every argument is UTF-8. progressTerminal: the progress
// stream (err) is a terminal, so the bar is drawn.
int RunMkupdate(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                bool progressTerminal);

#endif
