#!/usr/bin/env python3
"""Tests of report.py's reading of uftrace's replays, on replays recorded from real runs."""
import sys
import tempfile
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import report  # noqa: E402

SLOW_START = HERE / "testdata" / "startup-past-one-second.txt"
LONG_SLEEP = HERE / "testdata" / "sleep-past-one-minute.txt"


def all_calls(call):
    for child in call["calls"]:
        yield child
        yield from all_calls(child)


class UftraceReplay(unittest.TestCase):
    def test_every_call_line_is_read_whatever_its_units(self):
        # Both files hold times in us, ms and s, the second also in m, in both columns.
        for path in (SLOW_START, LONG_SLEEP):
            with self.subTest(path=path.name):
                # Every line but the comments and the closing ones is a call.
                calls = [line for line in path.read_text().splitlines() if not line.startswith("#")
                         and not line.split("| ", 1)[1].lstrip().startswith("}")]
                self.assertEqual(len(list(all_calls(report.call_tree(path)))), len(calls))

    def test_minutes_are_written_as_minutes_and_seconds(self):
        main = report.named(report.call_tree(LONG_SLEEP)["calls"], "main")[0]
        self.assertAlmostEqual(main["start"], 22.605)
        self.assertAlmostEqual(main["ms"], 63000)  # "1.003  m"
        naps = report.named(main["calls"], "nap")
        self.assertEqual([nap["ms"] for nap in naps], [1000, 62000])  # "1.000  s", "1.002  m"
        self.assertAlmostEqual(naps[1]["start"], 1023)  # "1.023  s"
        self.assertAlmostEqual(report.named(main["calls"], "tiny")[1]["start"], 63000)

    def test_stages_of_a_start_up_past_one_second(self):
        # Read off the file by hand: a stage's own line, or the sums and differences named.
        expected = {
            ("loadEmbeddedImages", "ours"): 0.260143,
            ("glfwInit", "GLFW"): 1312,
            ("glfwCreateWindow", "GLFW, driver"): 348.746,
            ("gladLoadGL", "ours"): 1.129,
            ("ShaderProgram::ShaderProgram", "driver"): 85.601,
            ("createCubeMesh", "ours, driver"): 0.035777,
            # three glfwWindowHint, MakeContextCurrent, two callbacks, SetInputMode and the
            # WindowShouldClose that starts, to the millisecond, when the first frame does
            ("other GLFW calls before the first frame", "GLFW"):
                (3.977 + 0.100 + 0.100 + 12.744 + 2.084 + 7.053) / 1000 + 7.193 + 4.802,
            ("texture 1: decode (stbi_load_from_memory)", "ours"): 22.846,
            ("texture 1: upload, mipmaps (GL calls)", "driver"): 285.513 - 22.846,
            ("texture 2: decode (stbi_load_from_memory)", "ours"): 7.720,
            ("texture 2: upload, mipmaps (GL calls)", "driver"): 15.747 - 7.720,
            ("samplers (activate, setSamplerUnit)", "ours, driver"):
                (11.292 + 39.955 + 2.304) / 1000,
            ("first frame: model matrices (buildCubeModelMatrix)", "ours"):
                (56.777 + 34.285 + 0.721) / 1000,
            ("first frame: the rest of drawFrame (GL calls)", "driver"):
                15.686 - (56.777 + 34.285 + 0.721) / 1000,
            ("first frame: glfwSwapBuffers", "driver"): 84.675,
            ("first frame: glfwPollEvents", "GLFW"): 3.285,
            # the first runFrame starts at 2.328 s and lasts 103.658 ms; main starts at 267.481 ms
            ("main to the end of the first frame", "all"): 2328 + 103.658 - 267.481,
        }
        stages = report.stages(SLOW_START)
        self.assertEqual(list(stages), list(expected))
        for key, value in expected.items():
            self.assertAlmostEqual(stages[key], value, places=6, msg=key)

    def test_a_decode_below_a_call_of_ours_is_still_the_decode(self):
        # The recorded start-up with each decode moved into a wrapper that also runs the checks.
        lines = []
        for line in SLOW_START.read_text().splitlines():
            lines.append(line.replace("jpegHuffmanTablesFit();", "decodeGuarded() {"))
            if line.endswith("} /* stbi_load_from_memory */"):
                lines.append("  30.000 ms [ 20633]   2.320  s |       } /* decodeGuarded */")
        with tempfile.TemporaryDirectory() as folder:
            path = Path(folder) / "wrapped.txt"
            path.write_text("\n".join(lines) + "\n")
            stages = report.stages(path)
        self.assertAlmostEqual(stages["texture 1: decode (stbi_load_from_memory)", "ours"], 22.846)
        self.assertAlmostEqual(stages["texture 2: decode (stbi_load_from_memory)", "ours"], 7.720)

    def test_a_unit_it_cannot_read_is_named_with_its_line(self):
        with tempfile.TemporaryDirectory() as folder:
            path = Path(folder) / "hours.txt"
            path.write_text("# DURATION     TID     ELAPSED    FUNCTION\n"
                            "            [ 7] 1.000 ms | main() {\n"
                            "   1.002  h [ 7]   1.002  h | } /* main */\n")
            with self.assertRaises(SystemExit) as failure:
                report.call_tree(path)
            self.assertEqual(str(failure.exception),
                             f"report.py: {path}:3: a time in 'h', a unit this report cannot read")


if __name__ == "__main__":
    unittest.main()
