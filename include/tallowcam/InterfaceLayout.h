#pragma once
// Slot 0 of every host-facing interface is its destructor. Microsoft's x86
// compiler lays a virtual destructor out as one table entry, the scalar deleting
// destructor, which takes a flags argument (bit 0: free the memory); g++ gives it
// two entries. On Windows the interfaces therefore declare that one entry
// themselves and keep their C++ destructor out of the table; every class that
// implements an interface defines the entry with TALLOWCAM_DELETING_DESTRUCTOR.
// Member functions are __thiscall on both compilers.

namespace korvane::ipcapture {

#ifdef _WIN32

#define TALLOWCAM_INTERFACE_DESTRUCTOR(Interface)               \
public:                                                          \
    virtual void* DeletingDestructor(unsigned int flags) = 0;  \
                                                                 \
protected:                                                       \
    ~Interface() = default;                                      \
                                                                 \
public:

#define TALLOWCAM_DELETING_DESTRUCTOR                                  \
    void* DeletingDestructor(unsigned int flags) override             \
    {                                                                 \
        return ::korvane::ipcapture::DestroyObject(this, flags);     \
    }

template <typename Object>
void* DestroyObject(Object* object, unsigned int flags)
{
    if (flags & 1)
        delete object;
    else
        object->~Object();
    return object;
}

// Destroys an object through its interface, as the host's compiler would.
template <typename Interface>
void DeleteThroughInterface(Interface* object)
{
    if (object != nullptr)
        object->DeletingDestructor(1);
}

#else

#define TALLOWCAM_INTERFACE_DESTRUCTOR(Interface) \
public:                                            \
    virtual ~Interface() = default;

#define TALLOWCAM_DELETING_DESTRUCTOR

template <typename Interface>
void DeleteThroughInterface(Interface* object)
{
    delete object;
}

#endif

}  // namespace korvane::ipcapture
