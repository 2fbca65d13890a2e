// Process-wide instances. Singleton<T> creates on first use; its _destroy is
// registered with atexit by the owner. SingletonEx<T> records the live
// instance of a class that is created normally.
#pragma once

#include <cstddef>

namespace Zyn {

template <class T>
class Singleton {
public:
    /// Returns the instance, creating it on first use. Never null.
    static T* Get() {
        if (!ms_pInstance) ms_pInstance = new T;
        return ms_pInstance;
    }
    /// True once the instance exists; does not create it.
    static bool Exists() { return ms_pInstance != nullptr; }
    /// Deletes the instance. Registered with atexit by the owner. The pointer
    /// is cleared so that late callers at exit never touch freed memory.
    static void _destroy() {
        T* p = ms_pInstance;
        ms_pInstance = nullptr;
        ms_bDestroyed = true;
        delete p;
    }
    /// True after _destroy: exit-time code must not bring the instance back.
    static bool IsDestroyed() { return ms_bDestroyed; }

private:
    static inline T* ms_pInstance = nullptr;
    static inline bool ms_bDestroyed = false;
};

template <class T>
class SingletonEx {
public:
    static inline T* ms_pInstance = nullptr;

protected:
    SingletonEx() { ms_pInstance = Derived(this); }
    ~SingletonEx() {
        if (ms_pInstance == Derived(this)) ms_pInstance = nullptr;
    }

private:
    // While the base is built (or torn down) the object is not yet (no longer)
    // a T, so a checked downcast would be wrong: adjust the address instead.
    static T* Derived(SingletonEx* base) {
        alignas(T) static unsigned char probe[sizeof(T)];
        const std::ptrdiff_t offset =
            reinterpret_cast<unsigned char*>(static_cast<SingletonEx*>(reinterpret_cast<T*>(probe))) - probe;
        return reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(base) - offset);
    }
};

}  // namespace Zyn
