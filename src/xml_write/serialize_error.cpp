// The fixed texts of the serializer's error causes.
#include "xml_write/serialize_error.hpp"

#include <array>

namespace corvane {

namespace {

constexpr std::array<std::string_view, kSerializeErrorKindCount> kDescriptions = {
    "I/O error writing the output",  // Io
    "output is not valid UTF-8",     // Encoding
};

}  // namespace

std::string_view describe(SerializeErrorKind kind) noexcept {
  const auto index = static_cast<std::size_t>(kind);
  return index < kDescriptions.size() ? kDescriptions[index] : std::string_view{};
}

}  // namespace corvane
