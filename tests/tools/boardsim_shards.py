#!/usr/bin/env python3
"""boardsim sweep in shards: a sampled sweep of two built-in boards cut into three shards, run by
ENGINE (direct: one after the other; parallel: GNU parallel; slurm: a job array on a one-node Slurm
cluster the test starts), merged, and compared with the unsharded sweep: the same --json, text and
--html but for the times. Direct also checks that the shards are disjoint and whole, that --seed
draws reproduce, that the merge refuses mixed, repeated and missing shards with one line each, and
--boots-only.

usage: boardsim_shards.py BOARDSIM SCHEMA ENGINE"""
import json
import pathlib
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

import jsonschema
import checks
from checks import check, finish

boardsim, schema_path, engine = sys.argv[1:4]
validator = jsonschema.Draft202012Validator(json.loads(pathlib.Path(schema_path).read_text()))
work = pathlib.Path(tempfile.mkdtemp(prefix=f"boardsim-shards-{engine}-"))
SWEEP = ["sweep", "--host", "--board", "default", "--board", "variant6", "--sample", "240",
         "--seed", "7", "--jobs", "1"]
SHARDS = 3
# What only the times differ in: a sweep's seconds, and a merge's list of its shards' times.
TIMINGS = ("seconds", "merged")
TIMING_LINES = ("time ", "shards ")


def tool(*args, status=0):
    return checks.run(boardsim, *args, status=status)


def untimed(doc):
    return {key: value for key, value in doc.items() if key not in TIMINGS}


def untimed_text(text):
    return [line for line in text.splitlines() if not line.startswith(TIMING_LINES)]


def untimed_xml(path):
    """JUnit XML with its time attributes and timestamps taken out."""
    return re.sub(r' (time|timestamp)="[^"]*"', "", path.read_text())


def page_parts(html):
    """The page's embedded document, and the page around it."""
    found = re.search(r'(<script type="application/json" id="boardsim-document">)(.*?)(</script>)',
                      html, re.S)
    return json.loads(found.group(2)), html[:found.start(2)] + html[found.end(2):]


def valid(what, doc):
    errors = [e.message for e in validator.iter_errors(doc)]
    return check(f"{what}: valid against the schema {errors[:1]}", not errors)


def shard_files():
    return [str(work / f"shard-{k}.json") for k in range(1, SHARDS + 1)]


def run_direct():
    for k, path in enumerate(shard_files(), 1):
        pathlib.Path(path).write_text(tool(*SWEEP, "--shard", f"{k}/{SHARDS}", "--json").stdout)


def run_parallel():
    if shutil.which("parallel") is None:
        sys.exit("GNU parallel is needed (Debian package parallel; scripts/setup.sh test installs it)")
    command = " ".join(map(shlex.quote, [boardsim, *SWEEP])) + \
        f" --shard {{}}/{SHARDS} --json > {shlex.quote(str(work))}/shard-{{}}.json"
    done = subprocess.run(["parallel", "--will-cite", "--halt", "now,fail=1", "--jobs", "2",
                           command, ":::", *map(str, range(1, SHARDS + 1))],
                          capture_output=True, text=True)
    check(f"GNU parallel ran the three shards {done.stderr[-300:]!r}", done.returncode == 0)


def run_slurm():
    from slurm_cluster import SlurmCluster, missing_programs
    if missing_programs():
        sys.exit(f"Slurm and munge are needed ({', '.join(missing_programs())} not found): "
                 "scripts/setup.sh test installs Debian's slurm-wlm and munge")
    job = work / "sweep-shard.sh"
    job.write_text("#!/bin/sh\nexec " + " ".join(map(shlex.quote, [boardsim, *SWEEP])) +
                   ' --shard "$SLURM_ARRAY_TASK_ID/$SLURM_ARRAY_TASK_COUNT" --json > ' +
                   shlex.quote(str(work)) + '/shard-"$SLURM_ARRAY_TASK_ID".json\n')
    cluster_dir = work / "cluster"
    cluster_dir.mkdir()
    with SlurmCluster(cluster_dir) as cluster:
        done = cluster.run("sbatch", f"--array=1-{SHARDS}", "--wait", "--chdir", str(work),
                           "--output", str(work / "slurm-%a.out"), str(job), timeout=600)
        check(f"sbatch --array=1-{SHARDS} --wait: exit {done.returncode} {done.stderr[-300:]!r}",
              done.returncode == 0)
        if done.returncode != 0:
            print(cluster.logs())


def compare_with_whole():
    whole = json.loads(tool(*SWEEP, "--json").stdout)
    valid("the unsharded sweep", whole)
    docs = [json.loads(pathlib.Path(f).read_text()) for f in shard_files()]
    for k, doc in enumerate(docs, 1):
        valid(f"shard {k}", doc)
    merged = json.loads(tool("sweep", "--merge", *shard_files(), "--json").stdout)
    valid("the merge", merged)
    check("merged, the shards' document is the unsharded one but for the times",
          untimed(merged) == untimed(whole))
    check("the merge lists each shard's time",
          [s["index"] for s in merged["merged"]["shards"]] == [1, 2, 3]
          and merged["merged"]["slowest_seconds"] >= merged["merged"]["mean_seconds"])
    text = tool("sweep", "--merge", *shard_files()).stdout
    check("the merge's text is the unsharded one's but for the times",
          untimed_text(text) == untimed_text(tool(*SWEEP).stdout))
    check("the text gives the slowest shard against the mean",
          re.search(r"^shards    3 merged, the slowest \(\d\) [\d.]+ s against a mean of [\d.]+ s$",
                    text, re.M) is not None)
    page, around = page_parts(tool("sweep", "--merge", *shard_files(), "--html", "-").stdout)
    whole_page, whole_around = page_parts(tool(*SWEEP, "--html", "-").stdout)
    check("the merge's page is the unsharded one's but for the times",
          around == whole_around and untimed(page) == untimed(whole_page))
    with tempfile.TemporaryDirectory() as folder:
        merged_xml, whole_xml = pathlib.Path(folder, "merged.xml"), pathlib.Path(folder, "whole.xml")
        tool("sweep", "--merge", *shard_files(), "--junit", str(merged_xml))
        tool(*SWEEP, "--junit", str(whole_xml))
        check("the merge's JUnit XML is the unsharded one's but for the times",
              untimed_xml(merged_xml) == untimed_xml(whole_xml))
    return whole, docs


def listed(doc):
    return [[(c["kind"], c["listed"]) for c in t["by_kind"]] for t in doc["targets"]]


def check_parts(whole, docs):
    indexes = sorted(i for doc in docs for i in doc["shard"]["points"])
    check("the shards' points are disjoint and together the whole sweep's",
          indexes == list(range(len(whole["points"]))))
    check("each shard's points are those the whole sweep ran at the same places", all(
        whole["points"][i] == point
        for doc in docs for i, point in zip(doc["shard"]["points"], doc["points"])))
    check("each shard lists the whole sweep's points of each target and kind",
          all(listed(doc) == listed(whole) for doc in docs))
    check("each shard names the sweep and its part", all(
        doc["sweep"] == whole["sweep"] and doc["shard"]["index"] == k and doc["shard"]["count"] == 3
        for k, doc in enumerate(docs, 1)))
    costs = [doc["shard"]["cost"] for doc in docs]
    check(f"the parts are balanced by expected cost {costs}",
          sum(costs) == docs[0]["shard"]["total_cost"] and max(costs) < 1.1 * sum(costs) / 3)


def check_seed():
    def listed(seed):
        return tool("sweep", "--host", "--board", "variant6", "--sample", "60", "--seed", seed,
                    "--list-points").stdout
    check("the same seed draws the same points", listed("3") == listed("3"))
    check("another seed, another draw", listed("3") != listed("4"))
    doc = json.loads(tool(*SWEEP, "--shard", "1/3", "--json").stdout)
    check("the seed is in the document", doc["sweep"]["seed"] == 7 and doc["sweep"]["sample"] == 240)
    tool("sweep", "--host", "--seed", "3", status=2)


def check_refusals():
    pathlib.Path(work / "whole.json").write_text(tool(*SWEEP, "--json").stdout)
    other = str(work / "other-seed.json")
    pathlib.Path(other).write_text(
        tool(*[a if a != "7" else "8" for a in SWEEP], "--shard", "2/3", "--json").stdout)
    one, two, three = shard_files()
    whole = json.loads(pathlib.Path(work / "whole.json").read_text())
    # A cell the whole sweep ran two points or more of, listed otherwise in copies of shards.
    target, kind = next((i, c["kind"]) for i, t in enumerate(whole["targets"])
                        for c in t["by_kind"] if c["points"] >= 2)

    def relisted(name, path, listed):
        doc = json.loads(pathlib.Path(path).read_text())
        next(c for c in doc["targets"][target]["by_kind"] if c["kind"] == kind)["listed"] = listed
        pathlib.Path(work / f"{name}.json").write_text(json.dumps(doc))
        return str(work / f"{name}.json")

    cases = {  # what the merge is given: what its one line says
        "mixed": ([one, other, three], "is a shard of another sweep than .* \\(not the same seed\\)"),
        "repeated": ([one, two, one, three], "are both shard 1/3"),
        "missing": ([one, three], "shard 2/3 missing"),
        "relisted": ([one, relisted("relisted", two, 1), three],
                     f"relisted.json and .* list other points for target {target} \\(default, "),
        "overrun": ([relisted(f"overrun-{k}", f, 1) for k, f in enumerate(shard_files())],
                    f"target {target} ran more points of {kind} than it lists"),
        "whole": ([one, str(work / "whole.json")], "not a shard"),
    }
    for name, (files, says) in cases.items():
        error = tool("sweep", "--merge", *files, "--json", status=2).stderr
        check(f"{name} shards are refused in one line: {error.strip()!r}",
              error.count("\n") == 1 and re.search(says, error) is not None)
    tool("sweep", "--merge", one, "--board", "default", status=2)
    tool("sweep", "--host", "--shard", "4/3", status=2)


def check_boots_only():
    doc = json.loads(tool("sweep", "--host", "--board", "variant6", "--boots-only", "--sample", "20",
                          "--json").stdout)
    check("--boots-only sweeps the boot alone", [t["run"] for t in doc["targets"]] == ["boot"])
    tool("sweep", "--host", "--no-ops", "--op", "GetLevel", status=2)


{"direct": run_direct, "parallel": run_parallel, "slurm": run_slurm}[engine]()
whole, docs = compare_with_whole()
if engine == "direct":
    check_parts(whole, docs)
    check_seed()
    check_refusals()
    check_boots_only()
shutil.rmtree(work, ignore_errors=True)
finish()
