#pragma once

// The whole run, from console title to exit status, against whichever
// backend is linked in. Returns the exit status, which is always 0.
int VantrelMain(int argc, char** argv);
