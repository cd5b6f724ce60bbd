#pragma once

#include <cstdlib>
#include <memory>

// Holder behind every manager's instance(bool release). A singleton that quit
// never released is destroyed at process exit, in reverse order of the moment
// its construction completed: one created inside another's constructor goes
// after it, so a destructor that reaches another singleton finds it alive.
// The holder itself is never destroyed, so instance(true) stays safe to call
// from any destructor during exit.
template <typename T> std::shared_ptr<T>& singletonInstance(bool release)
{
    static auto* holder = new std::shared_ptr<T>();
    if (release) {
        holder->reset();
    } else if (!*holder) {
        holder->reset(new T());
        static const bool destroyAtExit = (std::atexit([] { singletonInstance<T>(true); }) == 0);
        (void)destroyAtExit;
    }
    return *holder;
}

// Declares the getter inside a manager class; the constructor may stay private.
#define VANTELOR_SINGLETON(Class)                                                                            \
public:                                                                                                      \
    static std::shared_ptr<Class>& instance(bool release = false)                                            \
    {                                                                                                        \
        return singletonInstance<Class>(release);                                                            \
    }                                                                                                        \
                                                                                                             \
private:                                                                                                     \
    template <typename T> friend std::shared_ptr<T>& singletonInstance(bool release);
