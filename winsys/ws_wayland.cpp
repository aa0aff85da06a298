#include "winsys/linux.h"

ConnectResult ConnectWayland(WindowSystem*, const char** where)
{
    *where = "not built in";
    return ConnectUnreachable;
}
