// An allocator for buffers that are written before they are read.
#pragma once

#include <memory>
#include <utility>

namespace quen {

// A container with this allocator leaves new elements of a trivial type unset where the
// standard one zeroes them. A buffer can then be given room for the most its input may
// need: only the part actually written is ever touched, so the room costs no page
// faults and no clearing. The room itself comes from `Base`.
template <class T, template <class> class Base = std::allocator>
struct UnsetAllocator : Base<T> {
    using value_type = T;
    template <class U>
    struct rebind {
        using other = UnsetAllocator<U, Base>;
    };

    UnsetAllocator() = default;
    template <class U>
    UnsetAllocator(const UnsetAllocator<U, Base>&) noexcept {}

    template <class U>
    void construct(U* p) noexcept(noexcept(::new (static_cast<void*>(p)) U)) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        std::construct_at(p, std::forward<Args>(args)...);
    }
};

}  // namespace quen
