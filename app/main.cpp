#include "app/startup.h"

// Linux hands main() its arguments directly; the Windows wide command-line shim
// has no counterpart here.
int main(int argc, char** argv)
{
    return runClient(argc, argv);
}
