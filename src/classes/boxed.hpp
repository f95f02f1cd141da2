// Fields that most objects leave unset, kept out of line: an unset one costs
// a null pointer instead of the value's whole size in every instance. A read
// report holds hundreds of thousands of test cases, nearly all without
// output, timestamp, assertions or properties, and their memory is most of
// what reading a large document costs.
//
// The boxes come from Python's small-object allocator, which serves these
// sizes without a per-block header and in far fewer instructions than
// malloc; so they are made and dropped with the GIL held, as every object
// state is.
#pragma once

#include <Python.h>

#include <memory>
#include <new>
#include <optional>
#include <utility>

#include "child_list.hpp"
#include "model/optional_text.hpp"

namespace corvane {

namespace boxed_detail {

struct Free {
  template <class T>
  void operator()(T* value) const noexcept {
    value->~T();
    PyMem_Free(value);
  }
};

template <class T>
using Box = std::unique_ptr<T, Free>;

// std::bad_alloc when out of memory, as `new` would.
template <class T>
Box<T> make_box(T&& value) {
  void* memory = PyMem_Malloc(sizeof(T));
  if (memory == nullptr) throw std::bad_alloc();
  return Box<T>(new (memory) T(std::move(value)));
}

template <class T>
Box<T> copy_box(const T& value) {
  T copy(value);
  return make_box(std::move(copy));
}

}  // namespace boxed_detail

// An optional value on the heap. The box holds the optional itself (always
// set), so that a reader wanting an optional's reference gets one without a
// copy.
template <class T>
class Boxed {
 public:
  Boxed() noexcept = default;
  explicit Boxed(Optional<T>&& value)
      : value_(value ? boxed_detail::make_box(std::move(value)) : nullptr) {}
  // Copies are deep, as the optional's would be.
  Boxed(const Boxed& other) : value_(other ? boxed_detail::copy_box(*other.value_) : nullptr) {}
  Boxed& operator=(const Boxed& other) {
    Boxed copy(other);
    value_.swap(copy.value_);
    return *this;
  }
  Boxed(Boxed&&) noexcept = default;
  Boxed& operator=(Boxed&&) noexcept = default;
  // The new value is made first, so a failed allocation leaves the old one.
  Boxed& operator=(Optional<T>&& value) {
    Boxed made(std::move(value));
    value_.swap(made.value_);
    return *this;
  }

  explicit operator bool() const noexcept { return value_ != nullptr; }
  const T& operator*() const noexcept { return **value_; }
  const T* get() const noexcept { return value_ ? &**value_ : nullptr; }
  const Optional<T>& view() const noexcept { return value_ ? *value_ : kAbsent; }

 private:
  static inline const Optional<T> kAbsent;

  boxed_detail::Box<Optional<T>> value_;
};

// A list of child objects on the heap, empty when absent.
class BoxedChildList {
 public:
  BoxedChildList() noexcept = default;
  explicit BoxedChildList(ChildList&& children)
      : list_(children.empty() ? nullptr : boxed_detail::make_box(std::move(children))) {}
  BoxedChildList(BoxedChildList&&) noexcept = default;
  BoxedChildList& operator=(BoxedChildList&&) noexcept = default;
  BoxedChildList& operator=(ChildList&& children) {
    BoxedChildList made(std::move(children));
    list_.swap(made.list_);
    return *this;
  }

  const ChildList& list() const noexcept { return list_ ? *list_ : empty_list(); }
  // The list to add to, made when there is none yet.
  ChildList& make() {
    if (!list_) list_ = boxed_detail::make_box(ChildList());
    return *list_;
  }

 private:
  static const ChildList& empty_list() noexcept {
    static const ChildList empty;
    return empty;
  }

  boxed_detail::Box<ChildList> list_;
};

// What a getter or a copy takes of a boxed field: the value itself.
template <class T>
Optional<T> copy_of(const Boxed<T>& boxed) {
  return boxed.view();
}
inline ChildList copy_of(const BoxedChildList& boxed) { return copy_of(boxed.list()); }
inline const ChildList& list_of(const BoxedChildList& boxed) noexcept { return boxed.list(); }

}  // namespace corvane
