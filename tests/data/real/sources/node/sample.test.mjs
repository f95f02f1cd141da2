// A small suite for Node's built-in test runner with every outcome and
// nesting, used to produce node.xml of the real corpus (see ../../README.md).
import { describe, it, test } from "node:test";
import assert from "node:assert";

test("top level passes", () => {});

test("top level fails", () => {
  assert.strictEqual(2 * 3, 7);
});

describe("outer", () => {
  it("passes", () => {});
  it("is skipped", { skip: "not here" }, () => {});
  it("is todo", { todo: "later" }, () => {});
  describe("inner", () => {
    it("throws", () => {
      throw new Error("boom \u0001 with control");
    });
    it("passes too", () => {});
  });
});

test("with subtests", async (t) => {
  await t.test("sub passes", () => {});
  await t.test("sub fails", () => {
    assert.ok(false, "sub assertion");
  });
});
