// Holds a file open for writing without sharing it, as a writer that keeps
// readers out would, until its standard input ends. Prints "held" once the
// file is open, so a test knows when to look.
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "utilities/windows_raii_win.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: file_holder PATH\n";
        return 2;
    }
    const utilities::WindowsRaii::FileHandle file(utilities::WindowsRaii::OwnedHandle(
        CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!file) {
        std::cerr << "cannot open " << argv[1] << ": " << GetLastError() << '\n';
        return 1;
    }
    std::cout << "held" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return 0;
}
