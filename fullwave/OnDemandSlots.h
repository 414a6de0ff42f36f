#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <utility>

// A fixed number of objects, each made the first time it is asked for and kept until the
// slots go away. Safe to ask from several threads at once: when two make the same object,
// one of them is kept and the other discarded, and both get the kept one. Costs nothing
// until the first request.
template <typename T>
class OnDemandSlots {
public:
    OnDemandSlots() = default;
    explicit OnDemandSlots(std::size_t count) : m_count(count) {}
    OnDemandSlots(OnDemandSlots&& other) noexcept
        : m_slots(other.m_slots.exchange(nullptr)), m_count(std::exchange(other.m_count, 0))
    {
    }
    OnDemandSlots& operator=(OnDemandSlots&& other) noexcept
    {
        if (this != &other) {
            release();
            m_slots.store(other.m_slots.exchange(nullptr));
            m_count = std::exchange(other.m_count, 0);
        }
        return *this;
    }
    OnDemandSlots(const OnDemandSlots&) = delete;
    OnDemandSlots& operator=(const OnDemandSlots&) = delete;
    ~OnDemandSlots() { release(); }

    // The object of slot i (below the count), made by make() -> std::unique_ptr<T> if it is
    // not there yet.
    template <typename Make>
    const T& get(std::size_t i, Make make) const
    {
        std::atomic<T*>& slot = slots()[i];
        if (T* ready = slot.load(std::memory_order_acquire)) return *ready;
        std::unique_ptr<T> made = make();
        T* expected = nullptr;
        if (slot.compare_exchange_strong(expected, made.get(), std::memory_order_acq_rel)) return *made.release();
        return *expected;
    }

private:
    std::atomic<T*>* slots() const
    {
        std::atomic<T*>* table = m_slots.load(std::memory_order_acquire);
        if (table) return table;
        std::unique_ptr<std::atomic<T*>[]> made(new std::atomic<T*>[m_count]());
        if (m_slots.compare_exchange_strong(table, made.get(), std::memory_order_acq_rel)) return made.release();
        return table;
    }

    void release() noexcept
    {
        std::atomic<T*>* table = m_slots.exchange(nullptr);
        if (!table) return;
        for (std::size_t i = 0; i < m_count; ++i) delete table[i].load();
        delete[] table;
    }

    mutable std::atomic<std::atomic<T*>*> m_slots{nullptr};
    std::size_t m_count = 0;
};
