// The publication order table: see class_registry.hpp.
#include "class_registry.hpp"

#include <array>

#include "cases_table.hpp"
#include "enums.hpp"
#include "errors.hpp"
#include "property.hpp"
#include "report.hpp"
#include "status.hpp"
#include "suite.hpp"
#include "suite_stream_object.hpp"
#include "test_case.hpp"
#include "test_rerun.hpp"
#include "tolerant_reading.hpp"

namespace corvane {
namespace {

constexpr std::array kPublished = {
    PublishedName{"NonSuccessKind", &non_success_kind_type},
    PublishedName{"RerunKind", &rerun_kind_type},
    PublishedName{"Property", &property_type},
    PublishedName{"TestRerun", &test_rerun_type},
    PublishedName{"Success", &success_type},
    PublishedName{"Failure", &failure_type},
    PublishedName{"Error", &error_type},
    PublishedName{"Skipped", &skipped_type},
    PublishedName{"TestCase", &test_case_type},
    PublishedName{"TestSuite", &test_suite_type},
    PublishedName{"Report", &report_type},
    PublishedName{"CasesTable", &cases_table_type},
    PublishedName{"CorvaneError", &corvane_error_type},
    PublishedName{"DeserializationError", &deserialization_error_type},
    PublishedName{"SerializationError", &serialization_error_type},
};

constexpr std::array kInternal = {
    PublishedName{"_SuiteStream", &suite_stream_type},
    PublishedName{"_read_tolerant", &read_tolerant_function},
};

}  // namespace

std::span<const PublishedName> published_names() { return kPublished; }

std::span<const PublishedName> internal_names() { return kInternal; }

}  // namespace corvane
