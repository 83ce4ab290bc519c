// AutoNew<T>: an object variable created on first use and released by
// setting it to nothing (Release()).
#pragma once
#include <memory>

template <class T>
class AutoNew {
public:
    T* operator->() { return &get(); }
    T& operator*() { return get(); }
    T& get() {
        if (!p_) p_ = std::make_unique<T>();
        return *p_;
    }
    bool IsNothing() const { return !p_; }
    void Release() { p_.reset(); }

private:
    std::unique_ptr<T> p_;
};
