// Process-wide instances. Singleton<T> creates on first use; its _destroy is
// registered with atexit by the owner. SingletonEx<T> records the live
// instance of a class that is created normally.
#pragma once

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
    SingletonEx() { ms_pInstance = static_cast<T*>(this); }
    ~SingletonEx() {
        if (ms_pInstance == static_cast<T*>(this)) ms_pInstance = nullptr;
    }
};

}  // namespace Zyn
