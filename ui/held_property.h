// Typed access to the properties through which a window record owns something. Declaring a
// property with one of these says what it holds and who lets it go, so no reader casts the
// integer itself and every release happens in one place.
#pragma once

#include "ui/window_record.h"

// One counted reference on another window record (a default button, a layout, a page).
class RecordReference {
public:
    constexpr explicit RecordReference(const char* name) : name_(name) {}

    WindowRecord* get(const PropertyTable& properties) const
    {
        return reinterpret_cast<WindowRecord*>(properties.get(name_));
    }
    // Takes a reference on `referenced` (null clears) and then lets go of the one held before, so
    // setting the record already held keeps it alive throughout.
    void set(PropertyTable& properties, WindowRecord* referenced) const
    {
        WindowRecord* previous = get(properties);
        if (referenced) {
            referenced->addRef();
            properties.set(name_, reinterpret_cast<intptr_t>(referenced));
        } else {
            properties.remove(name_);
        }
        if (previous) previous->release();
    }
    void release(PropertyTable& properties) const { set(properties, nullptr); }

private:
    const char* name_;
};

// An object that the record alone owns: made with new, deleted when replaced or released. The
// name leaves the table before the object is deleted, so nothing reached from its destructor
// finds it half gone.
template <typename T>
class OwnedObject {
public:
    constexpr explicit OwnedObject(const char* name) : name_(name) {}

    T* get(const PropertyTable& properties) const { return reinterpret_cast<T*>(properties.get(name_)); }
    // The object, made on first use.
    T& ensure(PropertyTable& properties) const
    {
        if (T* held = get(properties)) return *held;
        T* made = new T();
        properties.set(name_, reinterpret_cast<intptr_t>(made));
        return *made;
    }
    // Takes ownership of `object` (null clears) and deletes the one held before.
    void reset(PropertyTable& properties, T* object) const
    {
        T* previous = get(properties);
        if (object) {
            properties.set(name_, reinterpret_cast<intptr_t>(object));
        } else {
            properties.remove(name_);
        }
        if (previous != object) delete previous;
    }
    void release(PropertyTable& properties) const { reset(properties, nullptr); }

private:
    const char* name_;
};

// A handle the record owns, kept in one of the Unique* holders' terms: the holder's release
// function lets it go when it is replaced or released, so no reader casts and frees it by hand.
template <typename Holder>
class OwnedHandle {
public:
    using Handle = typename Holder::pointer;
    constexpr explicit OwnedHandle(const char* name) : name_(name) {}

    Handle get(const PropertyTable& properties) const { return reinterpret_cast<Handle>(properties.get(name_)); }
    // Takes ownership of `handle` (an empty one is stored as 0) and releases the one held before,
    // unless it is the same.
    void reset(PropertyTable& properties, Holder handle) const
    {
        Holder previous(get(properties));
        const Handle taken = handle.release();
        properties.set(name_, reinterpret_cast<intptr_t>(taken));
        if (previous.get() == taken) (void)previous.release();
    }
    // Releases the handle held and removes the name.
    void release(PropertyTable& properties) const
    {
        Holder previous(get(properties));
        properties.remove(name_);
    }

private:
    const char* name_;
};
