#pragma once
// A value or an error, for the helper libraries. std::expected would do, but libstdc++ 12 hides
// it from clang 14, which builds the fuzz targets; this keeps the same spelling for the parts we use.
#include <type_traits>
#include <utility>
#include <variant>

namespace upwend::tools {

template <typename E>
struct Unexpected {
  explicit Unexpected(E e) : value(std::move(e)) {}
  E value;
};
template <typename E>
Unexpected(E) -> Unexpected<E>;

template <typename T, typename E>
class Expected {
public:
  template <typename U = T>
    requires(!std::is_same_v<std::remove_cvref_t<U>, Expected> && std::is_constructible_v<T, U &&>)
  Expected(U&& value) : v_(std::in_place_index<0>, std::forward<U>(value)) {}
  template <typename G>
    requires std::is_constructible_v<E, G&&>
  Expected(Unexpected<G> error) : v_(std::in_place_index<1>, std::move(error.value)) {}

  bool has_value() const { return v_.index() == 0; }
  explicit operator bool() const { return has_value(); }
  T& operator*() { return std::get<0>(v_); }
  const T& operator*() const { return std::get<0>(v_); }
  T* operator->() { return &std::get<0>(v_); }
  const T* operator->() const { return &std::get<0>(v_); }
  T& value() { return std::get<0>(v_); }
  E& error() { return std::get<1>(v_); }
  const E& error() const { return std::get<1>(v_); }

private:
  std::variant<T, E> v_;
};

}  // namespace upwend::tools
