#include "winsys/linux.h"

ConnectResult ConnectKwin(WindowSystem*, const char** where)
{
    *where = "not built in";
    return ConnectUnreachable;
}
