// A callable handed down to be called, not kept: a typed stand-in for a function pointer
// with a void* context. Whoever makes one keeps the callable alive while it is used.
#pragma once

#include <type_traits>
#include <utility>

namespace quorlan {

template <typename Signature>
struct FunctionRef;

template <typename R, typename... Args>
struct FunctionRef<R(Args...)> {
    FunctionRef() = default;

    // Binds to an lvalue only, so that a temporary callable can't be left dangling.
    template <typename F>
        requires(!std::is_same_v<std::remove_cv_t<F>, FunctionRef> && std::is_invocable_r_v<R, F&, Args...>)
    FunctionRef(F& callable) noexcept  // NOLINT(google-explicit-constructor): a callable stands for it
        : object(static_cast<void*>(&callable)), call(&invoke<F>) {}

    // A free function `function(object, args...)` bound to `object`: a source or sink whose
    // state is plain data, with no callable of its own to point at.
    template <auto function, typename T>
        requires std::is_invocable_r_v<R, decltype(function), T&, Args...>
    static FunctionRef bind(T& object) noexcept {
        FunctionRef bound;
        bound.object = static_cast<void*>(&object);
        bound.call = [](void* o, Args... args) -> R { return function(*static_cast<T*>(o), std::forward<Args>(args)...); };
        return bound;
    }

    R operator()(Args... args) const { return call(object, std::forward<Args>(args)...); }
    explicit operator bool() const noexcept { return call != nullptr; }

private:
    template <typename F>
    static R invoke(void* object, Args... args) {
        return (*static_cast<F*>(object))(std::forward<Args>(args)...);
    }

    void* object = nullptr;
    R (*call)(void*, Args...) = nullptr;
};

}  // namespace quorlan
