#include "cli/driver.h"

int main(int argc, char** argv)
{
    return VantrelMain(argc, argv);
}
