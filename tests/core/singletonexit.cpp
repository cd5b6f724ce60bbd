// Ends without releasing its singletons, as a test or a crash-free exit that
// skips the quit clean-up does; prints what each destructor saw.
#include "core/singleton.h"

#include <cstdio>
#include <cstring>

class Inner
{
    VANTELOR_SINGLETON(Inner)
public:
    ~Inner()
    {
        std::printf("inner destroyed\n");
        alive = false;
    }
    static bool alive;

private:
    Inner() { alive = true; }
};
bool Inner::alive = false;

// Reaches Inner from its constructor (first use) and its destructor, the way
// the projection router reaches the share and projection managers.
class Outer
{
    VANTELOR_SINGLETON(Outer)
public:
    ~Outer()
    {
        std::printf("outer destroyed, inner %s\n", Inner::alive ? "alive" : "gone");
        Inner::instance(true);
    }

private:
    Outer() { Inner::instance(); }
};

int main(int argc, char** argv)
{
    Outer::instance();
    if (argc > 1 && std::strcmp(argv[1], "release-inner-first") == 0) {
        Inner::instance(true);
    }
    return 0;
}
