#pragma once
// What a library function that can fail gives back: its value, or the reason
// it failed, as one message a caller prints as it stands (a CLI message, a
// message box, a Python exception). One convention for every library, so a
// caller never has to ask which of a bool, an empty optional or an exception
// it is looking at.
//
//     Result<RecordIndex> r = scan(file);
//     if (!r) return fail(r.error());
//     use(*r);
//
// Result<void> is the form for functions with nothing to hand back.

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace tarvik {

// The failure a Result holds: a reason, never empty.
struct Error {
    std::string reason;
};

// Makes the failure of a Result: `return failure("cannot open " + path);`
inline Error failure(std::string reason) {
    assert(!reason.empty() && "a failure says why");
    return Error{std::move(reason)};
}

template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: a value converts
    Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT: so does a failure

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & {
        assert(ok() && "value() of a failed Result");
        return std::get<0>(state_);
    }
    const T& value() const& {
        assert(ok() && "value() of a failed Result");
        return std::get<0>(state_);
    }
    T&& value() && {
        assert(ok() && "value() of a failed Result");
        return std::move(std::get<0>(state_));
    }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    // The reason it failed; empty for a success.
    const std::string& error() const {
        static const std::string none;
        return ok() ? none : std::get<1>(state_).reason;
    }
    // The value, or `fallback` when it failed.
    T valueOr(T fallback) const& { return ok() ? std::get<0>(state_) : std::move(fallback); }

private:
    std::variant<T, Error> state_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : error_(std::move(error.reason)), failed_(true) {}  // NOLINT: a failure converts

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return error_; }

private:
    std::string error_;
    bool failed_ = false;
};

// The success of a Result<void>.
inline Result<void> success() { return {}; }

} // namespace tarvik
