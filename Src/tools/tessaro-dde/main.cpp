// tessaro-dde: a DDE client on the command line for a running Tessaro server.
#include <iostream>
#include <string>
#include <vector>

#include "platform/dde/ClientTool.h"
#include "platform/win/Console.h"

int main(int argc, char** argv)
{
    win::OpenStandardDescriptors();
    win::IgnoreBrokenPipe(); // output nobody reads is an error of its own
    std::vector<std::string> args(argv + 1, argv + argc);
    return dde::RunClientTool(args, std::cout, std::cerr);
}
