#include "Commands.h"

int main(int argc, char** argv)
{
    return ertkit_cli::runTool(argc, argv);
}
