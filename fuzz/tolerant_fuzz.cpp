// Feeds arbitrary bytes to the tolerant reader through the canonicalisation
// step of corvane._tolerant. Any input must end in a document or an error;
// a document it makes must be accepted by the strict reader, and making it
// again from itself must change nothing after one normalising round (reading
// trims white space that cleaning may expose; writing keeps milliseconds).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "canonical/canonical_document.hpp"
#include "xml_read/report_deserializer.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  auto first = corvane::canonical_document(input);
  if (!first) return 0;
  if (!corvane::deserialize_from_str(*first)) std::abort();
  auto second = corvane::canonical_document(*first);
  if (!second) std::abort();
  auto third = corvane::canonical_document(*second);
  if (!third || *third != *second) std::abort();
  return 0;
}
