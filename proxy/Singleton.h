#pragma once

#include <atomic>
#include <mutex>

namespace libpivra {

// Holder of the one process-wide instance of T, created on first use with a null parent and
// never destroyed. Adds nothing to T's meta-object: the instance reports T's class name.
template <typename T> class Singleton : public T
{
public:
    ~Singleton() override {}

    static T* instance();

private:
    Singleton() : T(nullptr) {}

    inline static std::atomic<Singleton*> s_instance{nullptr};
    inline static std::mutex s_mutex;
};

template <typename T> T* Singleton<T>::instance()
{
    Singleton* current = s_instance.load(std::memory_order_acquire);
    if (current != nullptr) {
        return current;
    }
    // Creation is serialised; readers that find the pointer set see a complete object.
    const std::lock_guard<std::mutex> lock(s_mutex);
    if (s_instance.load(std::memory_order_acquire) == nullptr) {
        s_instance.store(new Singleton(), std::memory_order_release);
    }
    return s_instance.load(std::memory_order_acquire);
}

} // namespace libpivra
