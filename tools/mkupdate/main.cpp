// mkupdate: builds update programs for Tavrel_Update and inspects them.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "tools/mkupdate/file_io.h"
#include "tools/mkupdate/mkupdate.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

int main() {
  // The arguments as UTF-8, whatever the ANSI code page; paths go back to UTF-16 on use.
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; wide && i < count; ++i) {
    int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(n > 0 ? (size_t)n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &arg[0], n, nullptr, nullptr);
    args.push_back(arg);
  }
  if (wide) LocalFree(wide);
  SetConsoleOutputCP(CP_UTF8);
  return RunMkupdate(args, std::cout, std::cerr, IsTerminal(stderr));
}
#else
int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return RunMkupdate(args, std::cout, std::cerr, IsTerminal(stderr));
}
#endif
