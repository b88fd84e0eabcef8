#pragma once
// A scoped owner of one handle value: the deleter runs when the owner goes out
// of scope, on every path, including while an exception passes. Each handle
// kind is one alias of this template.
#include <boost/noncopyable.hpp>

namespace utilities {

namespace ImplHelper {
template <typename T>
class Empty {};
}  // namespace ImplHelper

template <typename T, void (*Deleter)(T), T Sentinel>
class StaticRaii : private boost::noncopyable, private ImplHelper::Empty<void> {
public:
    StaticRaii() = default;
    explicit StaticRaii(T value) : value_(value) {}

    virtual ~StaticRaii() { reset(); }

    T get() const { return value_; }

    // The slot itself, for a platform call's output parameter. Whatever the
    // owner held is released first, so filling the slot never leaks.
    T* put() {
        reset();
        return &value_;
    }

    void reset() {
        if (value_ != Sentinel) {
            Deleter(value_);
            value_ = Sentinel;
        }
    }

    explicit operator bool() const { return value_ != Sentinel; }

private:
    T value_ = Sentinel;
};

}  // namespace utilities
