"""A small unittest suite with every outcome and a class whose set-up fails,
used to produce xmlrunner.xml and nose2.xml of the real corpus (see
../../README.md)."""

import sys
import unittest


class Arithmetic(unittest.TestCase):
    def test_adds(self):
        self.assertEqual(1 + 1, 2)

    def test_fails(self):
        self.assertEqual(2 * 3, 7, "multiplication is off")

    def test_errors(self):
        raise RuntimeError("broken")

    def test_prints(self):
        print("to stdout")
        print("to stderr", file=sys.stderr)

    @unittest.skip("not on this machine")
    def test_skipped(self):
        pass

    @unittest.expectedFailure
    def test_expected_failure(self):
        self.assertTrue(False)


class BrokenSetUp(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        raise RuntimeError("class set-up broke")

    def test_never_runs(self):
        pass
