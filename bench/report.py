#!/usr/bin/env python3
"""Turns the tools' own output into the tables of BENCHMARKS.md.

  report.py frames FRAME.json TIMES.tsv   Google Benchmark's JSON: summary, and the frame times
                                          of each benchmark as columns for the plot
  report.py outside RUN...                zoravarova-bench-run's outputs: the start-up as a user
                                          waits for it, from the start to the first frame
  report.py startup LEAN... -- NESTED...  `uftrace replay` outputs: the start-up stages
  report.py memory SHORT LONG RSS         heaptrack runs of two lengths, and a plain run
"""
import json
import re
import statistics
import sys
from pathlib import Path


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|---" + "|---:" * (len(header) - 1) + "|"]
    lines += ["| " + " | ".join(str(cell) for cell in row) + " |" for row in rows]
    return "\n".join(lines)


def frames(json_path, tsv_path):
    results = json.loads(Path(json_path).read_text())
    context = results["context"]
    runs = {}
    for run in results["benchmarks"]:
        name = run["run_name"].split("/")[0]
        entry = runs.setdefault(name, {"times": []})
        if run["run_type"] == "iteration":
            entry["times"].append(run["real_time"])
        else:
            entry[run["aggregate_name"]] = run
    names = ["viewer_runFrame", "floor_clear_swap", "floor_instanced_draw"]
    viewer = runs[names[0]]["median"]["real_time"]
    rows = []
    for name in names:
        median, p95 = runs[name]["median"], runs[name]["p95"]
        rows.append([f"`{name}`", len(runs[name]["times"]), f"{median['real_time']:.3f}",
                     f"{p95['real_time']:.3f}", f"{median['main_thread_cpu_ms']:.3f}",
                     f"{p95['main_thread_cpu_ms']:.3f}", f"{median['process_cpu_ms']:.3f}",
                     f"{viewer / median['real_time']:.3f}"])
    load = ", ".join(f"{value:.2f}" for value in context["load_avg"])
    print(f"{context['date']}, {context['num_cpus']} CPUs at {context['mhz_per_cpu']} MHz, "
          f"load average {load} at the start; {context['gl_renderer']}, "
          f"{context['zoravarova_build_type']} build\n")
    print(table(["frame (ms)", "frames", "median", "p95", "main CPU median", "main CPU p95",
                 "process CPU median", "viewer / this"], rows))
    ratio = viewer / runs[names[2]]["median"]["real_time"]
    cpu = runs[names[0]]["median"]["main_thread_cpu_ms"]
    print(f"\nviewer / instanced floor: {ratio:.3f} (goal 1.10: {'met' if ratio <= 1.10 else 'missed'})")
    print(f"viewer main-thread CPU per frame: median {cpu:.3f} ms "
          f"(goal 2.0 ms: {'met' if cpu < 2.0 else 'missed'})")
    columns = [runs[name]["times"] for name in names]
    with open(tsv_path, "w") as out:
        out.write("\t".join(names) + "\n")
        for row in zip(*columns):
            out.write("\t".join(f"{value:.6f}" for value in row) + "\n")


def run_figures(path):
    """The "name value" lines zoravarova-bench-run prints."""
    return dict(line.split() for line in Path(path).read_text().splitlines())


def outside(*paths):
    times = [float(run_figures(path)["first_frame_ms"]) for path in paths]
    print(f"{len(times)} runs of the packed viewer on its own, timed by zoravarova-bench-run\n")
    print(table(["start-up (ms)", "median", "min", "max"],
                [["start of the viewer to its first presented frame",
                  f"{statistics.median(times):.1f}", f"{min(times):.1f}", f"{max(times):.1f}"]]))


# uftrace pads its units to two letters: "0.040 us", "12.744 ms", "1.312  s". From a minute on
# it writes minutes and seconds: "1.002  m" is 62 s.
UNITS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
LINE = re.compile(r"^\s*(?:([\d.]+) +([a-z]+))?\s+\[\s*(\d+)\] +([\d.]+) +([a-z]+) \| (.*)$")


def milliseconds(number, unit):
    if unit == "m":
        minutes, _, seconds = number.partition(".")
        return (int(minutes) * 60 + int(seconds)) * 1e3
    return float(number) * UNITS[unit]


def call_tree(path):
    """The calls of the first thread as nested dicts: name, start and duration in ms, children."""
    root = {"name": "", "calls": []}
    stack, tid = [root], None
    for number, line in enumerate(Path(path).read_text(errors="replace").splitlines(), 1):
        match = LINE.match(line)
        if not match or (tid is not None and match[3] != tid):
            continue
        try:
            start = milliseconds(match[4], match[5])
            duration = milliseconds(match[1], match[2]) if match[1] else None
        except KeyError as unit:
            sys.exit(f"report.py: {path}:{number}: a time in {unit}, a unit this report cannot read")
        tid = match[3]
        text = match[6].strip()
        if text.startswith("}"):
            stack.pop()["ms"] = duration
        else:
            call = {"name": re.sub(r"^/\* (.*) \*/$|\(\).*$", r"\1", text), "start": start,
                    "ms": duration, "calls": []}
            stack[-1]["calls"].append(call)
            if text.endswith("{"):
                stack.append(call)
    return root


def named(calls, name):
    return [call for call in calls if call["name"] == name]


def found(calls, name):
    """The calls of `name` among `calls` or, below those of other names, at any depth."""
    for call in calls:
        if call["name"] == name:
            yield call
        else:
            yield from found(call["calls"], name)


def stages(path):
    """(stage, whose) -> ms for one traced start-up, up to the end of the first frame."""
    mains = named(call_tree(path)["calls"], "main")
    if not mains:
        sys.exit(f"report.py: no call of main in {path}: uftrace found no symbols of the viewer")
    main = mains[0]
    top = named(main["calls"], "runViewer")[0]["calls"]
    # By order, not by start: past a second uftrace gives times to the millisecond only, so the
    # calls just before the first frame start when it does.
    position = [call["name"] for call in top].index("runFrame")
    first, before = top[position], top[:position]
    result = {("loadEmbeddedImages", "ours"): named(main["calls"], "loadEmbeddedImages")[0]["ms"]}
    for name, whose in [("glfwInit", "GLFW"), ("glfwCreateWindow", "GLFW, driver"),
                        ("gladLoadGL", "ours"), ("ShaderProgram::ShaderProgram", "driver"),
                        ("createCubeMesh", "ours, driver")]:
        result[name, whose] = named(top, name)[0]["ms"]
    result["other GLFW calls before the first frame", "GLFW"] = sum(
        call["ms"] for call in before
        if call["name"].startswith("glfw") and call["name"] not in ("glfwInit", "glfwCreateWindow"))
    for number, texture in enumerate(named(top, "createImageTexture"), 1):
        # The decode runs inside the checks' wrapper, not right under createImageTexture.
        decode = sum(call["ms"] for call in found(texture["calls"], "stbi_load_from_memory"))
        result[f"texture {number}: decode (stbi_load_from_memory)", "ours"] = decode
        result[f"texture {number}: upload, mipmaps (GL calls)", "driver"] = texture["ms"] - decode
    result["samplers (activate, setSamplerUnit)", "ours, driver"] = sum(
        call["ms"] for call in before
        if call["name"] in ("ShaderProgram::activate", "ShaderProgram::setSamplerUnit"))
    draw = named(first["calls"], "drawFrame")[0]
    matrices = sum(call["ms"] for cubes in named(draw["calls"], "drawCubeField")
                   for call in named(cubes["calls"], "buildCubeModelMatrix"))
    result["first frame: model matrices (buildCubeModelMatrix)", "ours"] = matrices
    result["first frame: the rest of drawFrame (GL calls)", "driver"] = draw["ms"] - matrices
    for name, whose in [("glfwSwapBuffers", "driver"), ("glfwPollEvents", "GLFW")]:
        result[f"first frame: {name}", whose] = named(first["calls"], name)[0]["ms"]
    result["main to the end of the first frame", "all"] = first["start"] + first["ms"] - main["start"]
    return result


def startup(*arguments):
    split = arguments.index("--")
    lean = [stages(path) for path in arguments[:split]]
    nested = [stages(path) for path in arguments[split + 1:]]
    rows = []
    for stage, whose in lean[0]:
        values = [run[stage, whose] for run in lean]
        nested_median = statistics.median(run[stage, whose] for run in nested)
        rows.append([stage, whose, f"{statistics.median(values):.3f}", f"{min(values):.3f}",
                     f"{max(values):.3f}", f"{nested_median:.3f}"])
    print(f"{len(lean)} runs tracing our calls into libraries, {len(nested)} with --nest-libcall\n")
    print(table(["stage (ms)", "whose", "median", "min", "max", "median, --nest-libcall"], rows))
    worst = max((row for row in rows if row[1] == "ours"), key=lambda row: float(row[4]))
    print(f"\nlargest stage of our own code: {worst[0]}, at most {worst[4]} ms "
          f"(goal 5 ms: {'met' if float(worst[4]) <= 5.0 else 'missed'})")


RUNTIME = re.compile(r"^(operator new|std::|__gnu_cxx::|malloc|calloc|realloc|__libc|__cxa|_dl_)")


def heap_run(prefix):
    """Allocation calls by owner and by call site, the summary figures and the frames seen."""
    ours = set((Path(prefix).parent / "symbols").read_text().splitlines())
    own, theirs, sites = 0, 0, {}
    for line in Path(f"{prefix}.stacks").read_text(errors="replace").splitlines():
        stack, _, count = line.rpartition(" ")
        frames = [frame for frame in stack.split(";") if frame]
        base = [frame.split("(")[0].strip() for frame in frames]
        inner = next((i for i in reversed(range(len(frames))) if not RUNTIME.match(frames[i])), 0)
        mine = base[inner] in ours
        # The call site: our innermost frame, so the library's allocations show which of our
        # calls led to them.
        site = next((base[i] for i in reversed(range(inner + 1)) if base[i] in ours),
                    "(no function of ours on the stack)")
        key = ("ours" if mine else "libraries") + ": " + site
        sites[key] = sites.get(key, 0) + int(count)
        own, theirs = own + int(count) * mine, theirs + int(count) * (not mine)
    text = Path(f"{prefix}.txt").read_text(errors="replace")
    summary = dict(re.findall(r"^([a-zA-Z ()]+): (\S+)", text, re.M))
    seen = run_figures(f"{prefix}.run")
    return {"ours": own, "libraries": theirs, "sites": sites, "frames": int(
        seen["frames_before_escape"]), "peak heap": summary["peak heap memory consumption"]}


def memory(short_prefix, long_prefix, rss_path):
    short, long = heap_run(short_prefix), heap_run(long_prefix)
    rss = run_figures(rss_path)
    rows = [[label, short[key], long[key]] for key, label in [
        ("frames", "frames before Escape"), ("ours", "allocation calls in our code"),
        ("libraries", "allocation calls in libraries"), ("peak heap", "peak heap")]]
    print(table(["heaptrack", "short run", "long run"], rows))
    frames = long["frames"] - short["frames"]
    print(f"\nper steady frame ({frames} frames more in the long run): "
          f"ours {(long['ours'] - short['ours']) / frames:.2f} allocation calls (goal 0), "
          f"libraries {(long['libraries'] - short['libraries']) / frames:.1f}")
    print(f"peak RSS of the viewer without heaptrack (VmHWM): {rss['child_peak_rss_kib']} KiB\n")
    top = sorted(long["sites"].items(), key=lambda item: -item[1])
    shown = [item for item in top if item[0].startswith("ours")] + top[:8]
    print(table(["long run: allocation calls by call site", "short run", "long run"],
                [[site, short["sites"].get(site, 0), count] for site, count in
                 dict(shown).items()]))


if __name__ == "__main__":
    commands = {"frames": frames, "outside": outside, "startup": startup, "memory": memory}
    if len(sys.argv) < 2 or sys.argv[1] not in commands:
        sys.exit(__doc__)
    commands[sys.argv[1]](*sys.argv[2:])
