#pragma once
// The tool's one result type: a value or an error. std::expected is not usable with every
// compiler the project builds with (clang 14 with libstdc++ 12 rejects it), so the tool has its
// own, with the part of std::expected's interface it needs and the same spelling. Engine, app,
// platform and the helper libraries all use this one.
//
// The error payloads in use: a sentence (std::string) where the caller only logs or shows the
// failure, and OsError where it also acts on the operating system's error number.
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace upwend {

// A failure of an operating-system call: its errno value and a sentence for logs.
struct OsError {
  int code = 0;
  std::string text;
};

template <typename E>
class Unexpected {
public:
  explicit Unexpected(E e) : error_(std::move(e)) {}
  E& error() & { return error_; }
  E&& error() && { return std::move(error_); }

private:
  E error_;
};
template <typename E>
Unexpected(E) -> Unexpected<E>;

template <typename T, typename E>
class Expected {
public:
  Expected() requires std::is_default_constructible_v<T> : state_(std::in_place_index<0>) {}
  template <typename U = T>
    requires(!std::is_same_v<std::remove_cvref_t<U>, Expected> && std::is_constructible_v<T, U &&>)
  Expected(U&& v) : state_(std::in_place_index<0>, std::forward<U>(v)) {}
  template <typename G>
    requires std::is_constructible_v<E, G&&>
  Expected(Unexpected<G> u) : state_(std::in_place_index<1>, std::move(u).error()) {}

  bool has_value() const { return state_.index() == 0; }
  explicit operator bool() const { return has_value(); }
  T& operator*() & { return std::get<0>(state_); }
  const T& operator*() const& { return std::get<0>(state_); }
  T&& operator*() && { return std::get<0>(std::move(state_)); }
  T* operator->() { return &std::get<0>(state_); }
  const T* operator->() const { return &std::get<0>(state_); }
  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  E& error() & { return std::get<1>(state_); }
  const E& error() const& { return std::get<1>(state_); }

private:
  std::variant<T, E> state_;
};

template <typename E>
class Expected<void, E> {
public:
  Expected() = default;
  template <typename G>
    requires std::is_constructible_v<E, G&&>
  Expected(Unexpected<G> u) : error_(std::move(u).error()), failed_(true) {}

  bool has_value() const { return !failed_; }
  explicit operator bool() const { return !failed_; }
  const E& error() const { return error_; }

private:
  E error_{};
  bool failed_ = false;
};

}  // namespace upwend
