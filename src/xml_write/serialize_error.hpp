// The one error of the report serializer: output that is not valid UTF-8.
// Writing into memory cannot fail otherwise.
#pragma once

#include <string_view>

namespace corvane {

class SerializeError {
 public:
  static constexpr std::string_view kText = "error serializing JUnit report";

  static SerializeError encoding() noexcept { return SerializeError(); }

  // The display text.
  std::string_view message() const noexcept { return kText; }

  bool operator==(const SerializeError&) const = default;

 private:
  SerializeError() noexcept = default;
};

}  // namespace corvane
