#pragma once

#include <memory>

// Holder behind every manager's instance(bool release). The function-local
// static is destroyed at process exit in reverse order of first use, so a
// singleton that quit never released still goes away cleanly.
template <typename T>
std::shared_ptr<T>& singletonInstance(bool release)
{
    static std::shared_ptr<T> holder;
    if (release) {
        holder.reset();
    } else if (!holder) {
        holder.reset(new T());
    }
    return holder;
}

// Declares the getter inside a manager class; the constructor may stay private.
#define VANTELOR_SINGLETON(Class)                                                                            \
public:                                                                                                      \
    static std::shared_ptr<Class>& instance(bool release = false) { return singletonInstance<Class>(release); } \
                                                                                                             \
private:                                                                                                     \
    template <typename T>                                                                                    \
    friend std::shared_ptr<T>& singletonInstance(bool release);
