// Durations between Python and the classes: see durations.hpp.
#include "durations.hpp"

#include <climits>
#include <cstdint>
#include <utility>

#include "py/convert.hpp"
#include "py/interned.hpp"
#include "py/lookup.hpp"
#include "py/slot_attribute.hpp"

namespace corvane {
namespace {

constexpr const char* kNegativeDuration = "a negative timedelta cannot be converted to a duration";
constexpr const char* kOutOfRangeDuration =
    "a timedelta whose seconds or microseconds are out of range cannot be converted to a duration";
constexpr const char* kOutOfRange = "out of range integral type conversion attempted";

constexpr std::uint64_t kSecondsPerDay = 86'400;
// timedelta takes its days as a C int.
constexpr std::uint64_t kMaxPythonSeconds = kSecondsPerDay << 31;
// The most microseconds whose nanoseconds still fit in 32 bits.
constexpr long kMaxMicroseconds = 4'294'967;

// Names looked up at every conversion, interned once.
constinit py::InternedName kDatetimeModule("datetime");
constinit py::InternedName kTimedeltaClass("timedelta");
constinit py::InternedName kDays("days");
constinit py::InternedName kSeconds("seconds");
constinit py::InternedName kMicroseconds("microseconds");

// The three attributes read from the timedelta class itself, resolved once
// (py/slot_attribute.hpp): about a third of what the generic lookup costs.
py::SlotAttribute days_slot;
py::SlotAttribute seconds_slot;
py::SlotAttribute microseconds_slot;

// One attribute of a timedelta as a C int, with the overflow text of the
// other integer conversions.
[[nodiscard]] py::Result<long> int32_attribute(PyObject* object, py::InternedName& name,
                                               const py::SlotAttribute& slot) {
  auto attr_name = name.get();
  if (!attr_name) return py::raised();
  py::Ref value = py::Ref::steal(slot.applies_to(object) ? slot.get(object)
                                                         : PyObject_GetAttr(object, *attr_name));
  if (!value) return py::raised();
  // An int (what timedelta gives) is read as it is; anything else through
  // __index__. Both read the same number from an int subclass.
  if (!PyLong_Check(value.get())) {
    value = py::Ref::steal(PyNumber_Index(value.get()));
    if (!value) return py::raised();
  }
  int overflow = 0;
  const long long number = PyLong_AsLongLongAndOverflow(value.get(), &overflow);
  if (number == -1 && PyErr_Occurred()) return py::raised();
  if (overflow != 0 || number < INT32_MIN || number > INT32_MAX) {
    PyErr_SetString(PyExc_OverflowError, kOutOfRange);
    return py::raised();
  }
  return static_cast<long>(number);
}

// Each attribute is resolved on its own: one read either way gives the same
// value, so a class qualifying for some attributes only is still read right.
void resolve_slots(PyObject* timedelta_class) noexcept {
  static bool tried = false;
  if (tried) return;
  tried = true;
  const std::pair<py::InternedName*, py::SlotAttribute*> slots[] = {
      {&kDays, &days_slot}, {&kSeconds, &seconds_slot}, {&kMicroseconds, &microseconds_slot}};
  for (const auto& [name, slot] : slots) {
    auto interned = name->get();
    if (!interned) {
      PyErr_Clear();
      continue;
    }
    slot->resolve(timedelta_class, *interned);
  }
}

}  // namespace

py::Result<Duration> extract_duration(PyObject* obj) {
  auto timedelta_class = py::import_attr(kDatetimeModule, kTimedeltaClass);
  if (!timedelta_class) return py::raised();
  const int is_timedelta = PyObject_IsInstance(obj, timedelta_class->get());
  if (is_timedelta < 0) return py::raised();
  if (is_timedelta == 0) {
    py::raise_not_instance(obj, "timedelta");
    return py::raised();
  }
  if (reinterpret_cast<PyObject*>(Py_TYPE(obj)) == timedelta_class->get() &&
      !days_slot.applies_to(obj)) {
    resolve_slots(timedelta_class->get());
  }
  auto days = int32_attribute(obj, kDays, days_slot);
  if (!days) return py::raised();
  auto seconds = int32_attribute(obj, kSeconds, seconds_slot);
  if (!seconds) return py::raised();
  auto microseconds = int32_attribute(obj, kMicroseconds, microseconds_slot);
  if (!microseconds) return py::raised();
  // CPython keeps seconds and microseconds non-negative, so the sign of a
  // timedelta is the sign of its days.
  if (*days < 0) {
    PyErr_SetString(PyExc_ValueError, kNegativeDuration);
    return py::raised();
  }
  // Only a subclass overriding the attributes gets here: a value error of
  // the caller's, not a broken invariant of this module.
  if (*seconds < 0 || *microseconds < 0 || *microseconds > kMaxMicroseconds) {
    PyErr_SetString(PyExc_ValueError, kOutOfRangeDuration);
    return py::raised();
  }
  const std::uint64_t nanoseconds = static_cast<std::uint64_t>(*microseconds) * 1'000;
  Duration duration;
  duration.seconds = static_cast<std::uint64_t>(*days) * kSecondsPerDay +
                     static_cast<std::uint64_t>(*seconds) + nanoseconds / 1'000'000'000;
  duration.nanoseconds = static_cast<std::uint32_t>(nanoseconds % 1'000'000'000);
  return duration;
}

py::Result<OptionalDuration> extract_optional_duration(PyObject* obj_or_null) {
  if (obj_or_null == nullptr || obj_or_null == Py_None) return OptionalDuration();
  auto duration = extract_duration(obj_or_null);
  if (!duration) return py::raised();
  return OptionalDuration(*duration);
}

py::Result<py::Ref> duration_to_python(const OptionalDuration& duration) {
  if (!duration) return py::Ref::borrow(Py_None);
  if (duration->seconds >= kMaxPythonSeconds) {
    PyErr_SetString(PyExc_ValueError, kOutOfRange);
    return py::raised();
  }
  auto timedelta_class = py::import_attr(kDatetimeModule, kTimedeltaClass);
  if (!timedelta_class) return py::raised();
  const auto days = static_cast<long long>(duration->seconds / kSecondsPerDay);
  const auto seconds = static_cast<long long>(duration->seconds % kSecondsPerDay);
  const auto microseconds = static_cast<long long>(duration->nanoseconds / 1'000);
  py::Ref delta = py::Ref::steal(
      PyObject_CallFunction(timedelta_class->get(), "LLL", days, seconds, microseconds));
  if (!delta) return py::raised();
  return delta;
}

}  // namespace corvane
