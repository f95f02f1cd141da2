// The case table in the core: columns with their validity bitmaps and
// offsets, and the Arrow C stream over a table built from a report model,
// read back through the raw structs as a consumer would, releasing every
// struct (some moved out first) so the sanitizer build sees any leak.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "arrow/case_table.hpp"
#include "arrow/stream_export.hpp"

namespace corvane::arrow {
namespace {

bool bit(const void* bitmap, std::int64_t row) {
  return (static_cast<const unsigned char*>(bitmap)[row / 8] >> (row % 8)) & 1;
}

// '-' is a null, any other character a text of that one character.
TEST(ArrowColumn, TextNullsAndOffsets) {
  for (std::string_view pattern :
       {"", "a", "-", "abcdefgh-", "abcdefghi-j", "--a--------b", "abcdefghijklmnopq"}) {
    for (std::size_t narrow_limit : {std::size_t{1} << 31, std::size_t{3}}) {
      SCOPED_TRACE(std::string(pattern) + " limit " + std::to_string(narrow_limit));
      Column column("c", ColumnType::Text, true, narrow_limit);
      std::int64_t nulls = 0;
      for (char c : pattern) {
        if (c == '-') {
          column.append_null();
          ++nulls;
        } else {
          column.append_text(std::string_view(&c, 1));
        }
      }
      ASSERT_EQ(column.length(), static_cast<std::int64_t>(pattern.size()));
      EXPECT_EQ(column.null_count(), nulls);
      EXPECT_EQ(column.validity() == nullptr, nulls == 0);
      EXPECT_EQ(column.wide_offsets(), pattern.size() - nulls > narrow_limit);
      EXPECT_NE(column.values(), nullptr);
      EXPECT_NE(column.text_bytes(), nullptr);
      for (std::size_t row = 0; row < pattern.size(); ++row) {
        bool is_null = pattern[row] == '-';
        EXPECT_EQ(column.is_null(row), is_null) << row;
        if (nulls) {
          EXPECT_EQ(bit(column.validity(), row), !is_null) << row;
        }
        EXPECT_EQ(column.text_at(row), is_null ? "" : pattern.substr(row, 1)) << row;
      }
    }
  }
}

TestCase make_case(std::string_view name, TestCaseStatus status) {
  return TestCase(name, std::move(status));
}

std::shared_ptr<const CaseTable> sample_table() {
  TestSuite suite("unit");
  suite.timestamp = Timestamp{1'000, 0, 3600};
  TestCase passed = make_case("passed", TestCaseStatus::success());
  passed.time = Duration{1, 500'000'000};
  passed.extra.insert(XmlString("file"), XmlString("a.py"));
  suite.add_test_case(std::move(passed));
  TestCase failed = make_case("failed", TestCaseStatus::non_success(NonSuccessKind::Failure));
  failed.status.set_message("boom");
  failed.status.add_rerun(TestRerun{});
  // A leap second stays in its minute.
  failed.timestamp = Timestamp{59, 1'500'000'000, 0};
  failed.classname = XmlString("k");
  suite.add_test_case(std::move(failed));
  suite.add_test_case(make_case("skipped", TestCaseStatus::skipped()));
  CaseTableBuilder builder;
  EXPECT_TRUE(builder.add_suite(suite, "x.xml"));
  return std::make_shared<const CaseTable>(std::move(builder).finish());
}

template <class T>
T value(const ArrowArray* array, int buffer, std::int64_t row) {
  T out;
  std::memcpy(&out, static_cast<const char*>(array->buffers[buffer]) + row * sizeof(T), sizeof(T));
  return out;
}

std::string text(const ArrowArray* array, std::int64_t row) {
  auto start = value<std::int32_t>(array, 1, row), end = value<std::int32_t>(array, 1, row + 1);
  return std::string(static_cast<const char*>(array->buffers[2]) + start, end - start);
}

TEST(ArrowStream, SchemaBatchEndAndRelease) {
  ArrowArrayStream stream;
  export_stream(sample_table(), &stream);

  ArrowSchema schema;
  ASSERT_EQ(stream.get_schema(&stream, &schema), 0);
  EXPECT_STREQ(schema.format, "+s");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"source", "u"},  {"suite", "u"}, {"classname", "u"},       {"name", "u"},
      {"outcome", "c"}, {"time", "g"},  {"timestamp", "tsu:UTC"}, {"suite_timestamp", "tsu:UTC"},
      {"message", "u"}, {"type", "u"},  {"flaky_runs", "i"},      {"reruns", "i"},
      {"file", "u"}};
  ASSERT_EQ(schema.n_children, static_cast<std::int64_t>(expected.size()));
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(schema.children[i]->name, expected[i].first);
    EXPECT_EQ(schema.children[i]->format, expected[i].second);
  }
  EXPECT_EQ(schema.children[1]->flags, 0);  // suite: never null
  EXPECT_EQ(schema.children[2]->flags, ARROW_FLAG_NULLABLE);
  EXPECT_STREQ(schema.children[4]->dictionary->format, "u");

  ArrowArray batch;
  ASSERT_EQ(stream.get_next(&stream, &batch), 0);
  ASSERT_NE(batch.release, nullptr);
  EXPECT_EQ(batch.length, 3);
  ArrowArray** columns = batch.children;
  EXPECT_EQ(text(columns[3], 1), "failed");
  EXPECT_EQ(columns[2]->null_count, 2);
  EXPECT_EQ(text(columns[2], 1), "k");
  EXPECT_EQ(value<double>(columns[5], 1, 0), 1.5);
  EXPECT_EQ(value<std::int64_t>(columns[6], 1, 1), 59'999'999);
  EXPECT_EQ(value<std::int64_t>(columns[7], 1, 2), 1'000'000'000);
  EXPECT_EQ(value<std::int8_t>(columns[4], 1, 1), static_cast<std::int8_t>(Outcome::Failed));
  EXPECT_EQ(text(columns[4]->dictionary, 4), "skipped");
  EXPECT_EQ(text(columns[8], 1), "boom");
  EXPECT_EQ(value<std::int32_t>(columns[11], 1, 1), 1);
  EXPECT_EQ(text(columns[12], 0), "a.py");
  EXPECT_FALSE(bit(columns[12]->buffers[0], 1));

  ArrowArray end;
  ASSERT_EQ(stream.get_next(&stream, &end), 0);
  EXPECT_EQ(end.release, nullptr);

  // A consumer may move a child out and release it after its parent, and
  // release the stream before either: each keeps the table alive.
  ArrowArray moved = *columns[3];
  columns[3]->release = nullptr;
  ArrowSchema moved_schema = *schema.children[4];
  schema.children[4]->release = nullptr;
  stream.release(&stream);
  EXPECT_EQ(stream.release, nullptr);
  batch.release(&batch);
  schema.release(&schema);
  EXPECT_EQ(text(&moved, 2), "skipped");
  moved.release(&moved);
  moved_schema.release(&moved_schema);
}

TEST(ArrowCaseTable, ExtraColumnsLimitAndChoice) {
  TestSuite suite("s");
  for (std::size_t i = 0; i <= kMaxExtraColumns; ++i) {
    TestCase test_case("c", TestCaseStatus::success());
    std::string key = "k";
    key += std::to_string(i);
    test_case.extra.insert(XmlString(key), XmlString("v"));
    suite.add_test_case(std::move(test_case));
  }
  CaseTableBuilder every;
  EXPECT_FALSE(every.add_suite(suite, std::nullopt));
  CaseTableBuilder chosen(std::vector<std::string>{"k3", "name", "k3"});
  ASSERT_TRUE(chosen.add_suite(suite, std::nullopt));
  CaseTable table = std::move(chosen).finish();
  ASSERT_EQ(table.columns.size(), std::size(kFixedColumns) + 2);
  EXPECT_EQ(table.columns[std::size(kFixedColumns)].null_count(), table.rows - 1);
  EXPECT_EQ(table.columns.back().name(), "extra.name");
}

}  // namespace
}  // namespace corvane::arrow
