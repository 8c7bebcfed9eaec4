#pragma once
// A small result type: a value or an error. Expected is not usable with every compiler the
// project builds with (clang 14 with libstdc++ 12 rejects it), so the tool has its own, with the
// part of Expected's interface it needs and the same spelling.
#include <type_traits>
#include <utility>
#include <variant>

namespace upwend {

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
  Expected(const T& v) : state_(std::in_place_index<0>, v) {}
  Expected(T&& v) : state_(std::in_place_index<0>, std::move(v)) {}
  template <typename G>
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
  Expected(Unexpected<G> u) : error_(std::move(u).error()), failed_(true) {}

  bool has_value() const { return !failed_; }
  explicit operator bool() const { return !failed_; }
  const E& error() const { return error_; }

private:
  E error_{};
  bool failed_ = false;
};

}  // namespace upwend
