#pragma once
// The library's reference-counting smart pointer; every factory of the library returns one.
#include "AUTExport.h"

#include <cstddef>

// A counter block (8 bytes) from the library's counter pool; its content is undefined.
// Serialized by the pool lock. Throws std::bad_alloc when the pool cannot grow.
AUT_EXPORT unsigned long* AUT_RefPtrGetMemory();
// Gives a block of AUT_RefPtrGetMemory back. Serialized by the pool lock.
AUT_EXPORT void AUT_RefPtrReleaseMemory(unsigned long* counter);

// Shares one heap object (deleted through its destructor, so a base T needs a virtual one)
// among all copies; the last copy to go deletes it. The counter lives outside the object, in
// the library's counter pool, and every AUT_RefPtr holds one from construction to destruction,
// also when its object pointer is null (a default or null AUT_RefPtr has a counter of its own).
//
// Thread-safety: the counter is a plain integer by design, neither atomic nor locked. Copies
// that share one counter must be made, assigned and destroyed on one thread at a time;
// distinct objects may be used on distinct threads freely (their counter blocks are taken and
// given back under the pool lock).
//
// Lifetime: counters exist from library load to unload; no AUT_RefPtr may outlive libaut.
//
// Ownership: wrap a raw pointer once only (two wrappers of one pointer each count on their own
// and both delete it); make further holders by copying. Hence the constructor from T* is
// explicit. There is no move: a moved-from pointer would need a fresh counter, so a "move" is
// a copy, which costs one increment.
template <class T> class AUT_RefPtr {
public:
    // Null object, a counter of its own set to 1. Throws std::bad_alloc.
    AUT_RefPtr()
        : f_object(nullptr)
        , f_counter(AUT_RefPtrGetMemory()) {
        *f_counter = 1;
    }
    // Same as the default constructor; lets a factory `return nullptr;`.
    AUT_RefPtr(std::nullptr_t)
        : AUT_RefPtr() {}
    // Takes ownership of `object` (may be null). When no counter can be had, deletes `object`
    // and throws std::bad_alloc, so that nothing leaks.
    explicit AUT_RefPtr(T* object)
        : f_object(object)
        , f_counter(nullptr) {
        try {
            f_counter = AUT_RefPtrGetMemory();
        } catch (...) {
            delete object;
            throw;
        }
        *f_counter = 1;
    }
    AUT_RefPtr(const AUT_RefPtr& other)
        : f_object(other.f_object)
        , f_counter(other.f_counter) {
        ++*f_counter;
    }
    // Holding the same object pointer as `other` (both null included): nothing changes, each
    // keeps its counter. Otherwise this one lets go of its object (deleting it when it was the
    // last holder) and shares `other`'s object and counter.
    AUT_RefPtr& operator=(const AUT_RefPtr& other) {
        if (f_object == other.f_object) {
            return *this;
        }
        // Count the new share first: deleting the old object may destroy `other` itself
        // (an object that holds the next one), and must not take its counter away.
        T* const object = other.f_object;
        unsigned long* const counter = other.f_counter;
        ++*counter;
        Release();
        f_object = object;
        f_counter = counter;
        return *this;
    }
    ~AUT_RefPtr() {
        Release();
        f_counter = nullptr;
    }

    // The object pointer, unchecked: null for a null AUT_RefPtr.
    T* operator->() const { return f_object; }
    T& operator*() const { return *f_object; }
    T* get() const { return f_object; }
    explicit operator bool() const { return f_object != nullptr; }
    // How many AUT_RefPtr share this one's counter (1 for a default or null one on its own).
    unsigned long useCount() const { return *f_counter; }

    friend bool operator==(const AUT_RefPtr& left, const AUT_RefPtr& right) {
        return left.f_object == right.f_object;
    }
    friend bool operator!=(const AUT_RefPtr& left, const AUT_RefPtr& right) {
        return left.f_object != right.f_object;
    }

private:
    // The object goes while the counter still reads 1, before the counter block goes back.
    void Release() {
        static_assert(sizeof(T) > 0, "AUT_RefPtr needs the complete type to delete it");
        if (*f_counter == 1) {
            // Null first: a destructor that reaches back here finds nothing left to delete.
            T* const object = f_object;
            f_object = nullptr;
            delete object;
        }
        if (--*f_counter == 0) {
            AUT_RefPtrReleaseMemory(f_counter);
        }
    }

    T* f_object;
    unsigned long* f_counter;
};
