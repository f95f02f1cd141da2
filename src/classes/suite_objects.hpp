// The Python objects of the suites a read hands over, made batch by batch
// while the read runs without the GIL: from_xml's and load's reads share it.
#pragma once

#include <cstddef>
#include <vector>

#include "child_list.hpp"
#include "model/report.hpp"
#include "py/gil.hpp"
#include "py/result.hpp"
#include "xml_read/report_deserializer.hpp"

namespace corvane {

// Gathers the suites read and makes their objects batch by batch. Making
// them runs no Python code (the objects are all of this module's own
// classes, which the garbage collector does not track), and the document is
// immutable or a copy, so nothing another thread does can reach the read.
// Destroy it with the GIL held: it owns objects.
class SuiteObjects final : public SuiteSink {
 public:
  explicit SuiteObjects(const py::GilReleased& released) : released_(&released) {}

  bool take(TestSuite&& suite) override;
  void restart() override;

  // With the GIL held: the objects of the suites not made yet, and with
  // them every suite's object, in order.
  [[nodiscard]] py::Result<ChildList> finish() &&;

 private:
  bool make_pending();

  const py::GilReleased* released_;
  std::vector<TestSuite> pending_;
  std::size_t pending_weight_ = 0;
  ChildList objects_;
};

}  // namespace corvane
