#pragma once
// Reference-counted owner of a heap object, used from one thread at a time.
#include <memory>

template <typename T>
class TSmartPtr {
public:
    TSmartPtr() = default;
    explicit TSmartPtr(T* object) : m_object(object) {}

    // Releases the held object and takes ownership of the new one.
    TSmartPtr& operator=(T* object)
    {
        m_object.reset(object);
        return *this;
    }
    void Release() { m_object.reset(); }

    T* Get() const { return m_object.get(); }
    T* operator->() const { return m_object.get(); }
    T& operator*() const { return *m_object; }
    explicit operator bool() const { return m_object != nullptr; }

private:
    std::shared_ptr<T> m_object;
};
