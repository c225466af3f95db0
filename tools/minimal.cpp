// The smallest Win32 GUI program: the yardstick for the cost of a process
// start in the benchmark.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return 0;
}
