#!/usr/bin/env python3
"""Runs every peer on every document and operation, then prints the tables and
writes them (Markdown) with a bar chart (SVG).

    report.py DOCS_DIR RUNS REPS OUT.md OUT.svg BIN_DIR

Each peer is a program run as `PEER FILE REPS [write]`, RUNS times per
document, the peers taking turns. It prints `first_parse` (CPU seconds of the
first parse of the fresh process), `mem` (its peak bytes above the process with
the input read), `nodes` (values read), then REPS lines `parse` (each parse
after freeing the last tree) and, with `write`, a `first_write_xml` warm-up
and REPS lines `write_xml`, the same for `write_bin`. Every number reported is
a median over all runs.
"""
import datetime
import os
import platform
import statistics
import subprocess
import sys

DOCS = ["library-5", "library-60", "config", "numbers", "data"]
# (label, the encoding whose size gives MB/s, the document run, the number read);
# the writes start from the tree parsed from the binary document.
OPS = [("parse XML", "xml", "xml", "parse"), ("parse binary", "bin", "bin", "parse"),
       ("write XML", "xml", "bin", "write_xml"), ("write binary", "bin", "bin", "write_bin")]
FIRST = [("first parse XML", "xml", "xml", "first_parse"),
         ("first parse binary", "bin", "bin", "first_parse")]
PEERS = ["plistlib", "Rust plist", "Orvex store", "Orvex model"]
OTHERS = PEERS[:2]  # the peers Orvex is compared with
MB = 1e6
# Freed memory stays in every peer's process between runs: left to glibc's
# defaults, whether a tree's pages go back to the system depends on the heap's
# layout, which made one Orvex interface several times slower than the other
# on the same reader. What first touching memory costs is in the first parse.
ENV = dict(os.environ, GLIBC_TUNABLES="glibc.malloc.trim_threshold=4294967295:"
                                      "glibc.malloc.mmap_threshold=33554432")


def commands(bin_dir):
    here = os.path.dirname(os.path.abspath(__file__))
    orvex = os.path.join(bin_dir, "orvex_peer")
    return {
        "plistlib": [sys.executable, os.path.join(here, "plistlib_peer.py")],
        "Rust plist": [os.path.join(bin_dir, "rust", "release", "plist_peer")],
        "Orvex store": [orvex, "store"],
        "Orvex model": [orvex, "model"],
    }


def run(cmd, *args, into):
    out = subprocess.run(cmd + list(args), check=True, capture_output=True, text=True, env=ENV)
    for line in out.stdout.splitlines():
        key, value = line.split()
        into.setdefault(key, []).append(float(value))


def measure(docs_dir, runs, reps, cmds):
    """res[doc][ext][peer][key] = list of samples; sizes[doc][ext] in bytes."""
    res, sizes = {}, {}
    for doc in DOCS:
        res[doc], sizes[doc] = {}, {}
        for ext in ("xml", "bin"):
            path = os.path.join(docs_dir, f"{doc}.{ext}")
            sizes[doc][ext] = os.path.getsize(path)
            k = 3 if sizes[doc][ext] < 2 * MB else 1  # small ones are noisier
            print(f"  {doc}.{ext}: {runs * k} runs of each peer", file=sys.stderr, flush=True)
            res[doc][ext] = {peer: {} for peer in cmds}
            for _ in range(runs * k):  # peers take turns, so a busier moment hits them all
                for peer, cmd in cmds.items():
                    run(cmd, path, str(reps * k), *(["write"] if ext == "bin" else []),
                        into=res[doc][ext][peer])
            nodes = {peer: set(r["nodes"]) for peer, r in res[doc][ext].items()}
            if len(set.union(*nodes.values())) != 1:
                sys.exit(f"peers read {doc}.{ext} differently: {nodes}")
    return res, sizes


def fmt(x, digits=1):
    return f"{x:,.{digits}f}"


def rates(res, sizes, ops):
    """rate[(doc, label)][peer] in MB/s and secs[(doc, label)][peer]."""
    rate, secs = {}, {}
    for doc in DOCS:
        for label, size_ext, run_ext, key in ops:
            secs[doc, label] = {p: statistics.median(res[doc][run_ext][p][key]) for p in PEERS}
            rate[doc, label] = {p: sizes[doc][size_ext] / MB / max(secs[doc, label][p], 1e-9)
                                for p in PEERS}
    return rate, secs


def speed_table(res, sizes, ops):
    head = ["document", "operation", "MB"] + [f"{p} MB/s" for p in PEERS] + \
           ["store / best peer", "model / best peer", "model cost / store cost"]
    rate, secs = rates(res, sizes, ops)
    rows = []
    for doc in DOCS:
        for label, size_ext, _, _ in ops:
            r, t = rate[doc, label], secs[doc, label]
            best = max(r[p] for p in OTHERS)
            rows.append([doc, label, fmt(sizes[doc][size_ext] / MB)] + [fmt(r[p]) for p in PEERS] +
                        [fmt(r["Orvex store"] / best, 2), fmt(r["Orvex model"] / best, 2),
                         fmt(t["Orvex model"] / t["Orvex store"], 2)])
    return markdown(head, rows)


def memory(res):
    return {(doc, ext): {p: statistics.median(res[doc][ext][p]["mem"]) / MB for p in PEERS}
            for doc in DOCS for ext in ("xml", "bin")}


def memory_table(res, sizes):
    head = ["document", "parsed from", "MB"] + [f"{p} MB" for p in PEERS] + \
           ["store / best peer", "model / best peer", "model / store"]
    rows = []
    for (doc, ext), m in memory(res).items():
        best = min(m[p] for p in OTHERS)
        rows.append([doc, "XML" if ext == "xml" else "binary", fmt(sizes[doc][ext] / MB)] +
                    [fmt(m[p]) for p in PEERS] +
                    [fmt(m["Orvex store"] / best, 2), fmt(m["Orvex model"] / best, 2),
                     fmt(m["Orvex model"] / m["Orvex store"], 2)])
    return markdown(head, rows)


def markdown(head, rows):
    lines = ["| " + " | ".join(head) + " |",
             "|" + "|".join(["---"] * 2 + ["---:"] * (len(head) - 2)) + "|"]
    return "\n".join(lines + ["| " + " | ".join(r) + " |" for r in rows])


def chart(res, sizes, path):
    import matplotlib
    matplotlib.use("Agg")
    matplotlib.rcParams["svg.hashsalt"] = "orvex-peers"  # stable ids from run to run
    import matplotlib.pyplot as plt

    panels = [("Throughput: size of the encoded document / median CPU time of a run",
               "MB/s (log scale; higher is faster)", rates(res, sizes, OPS)[0], len(OPS)),
              ("The first parse of a fresh process, touching new memory",
               "MB/s (log scale; higher is faster)", rates(res, sizes, FIRST)[0], len(FIRST)),
              ("Parse memory: peak RSS of the first parse above the process with its input read",
               "MB (log scale; lower is better)", memory(res), 2)]
    fig, axes = plt.subplots(3, 1, figsize=(18, 14), gridspec_kw={"height_ratios": [3, 2, 2]})
    width = 0.2
    for ax, (title, ylabel, values, per_doc) in zip(axes, panels):
        groups = list(values)
        for k, peer in enumerate(PEERS):
            xs = [i + (k - 1.5) * width for i in range(len(groups))]
            ax.bar(xs, [values[g][peer] for g in groups], width, label=peer)
        names = {"xml": "XML", "bin": "binary"}
        ax.set_xticks(range(len(groups)), [f"{d}\n{names.get(x, x)}" for d, x in groups], fontsize=7)
        ax.set_yscale("log")
        ax.set_ylabel(ylabel)
        ax.set_title(title)
        ax.grid(axis="y", which="both", alpha=0.3)
        for k in range(1, len(DOCS)):
            ax.axvline(k * per_doc - 0.5, color="grey", linewidth=0.8)
    axes[0].legend(ncol=4)
    fig.tight_layout()
    fig.savefig(path, metadata={"Date": None})


def machine():
    cpu = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo")
                if line.startswith("model name")), platform.processor())
    rustc = subprocess.run(["/usr/bin/rustc", "--version"], capture_output=True, text=True).stdout.strip()
    gxx = subprocess.run(["g++", "--version"], capture_output=True, text=True).stdout.splitlines()[0]
    return (f"nproc {len(os.sched_getaffinity(0))}, {cpu}; "
            f"Python {platform.python_version()}, {rustc}, {gxx}")


def main():
    docs_dir, runs, reps, out_md, out_svg, bin_dir = sys.argv[1:7]
    runs, reps = int(runs), int(reps)
    res, sizes = measure(docs_dir, runs, reps, commands(bin_dir))
    when = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    text = (f"# Orvex beside its peers\n\n"
            f"Run {when} on {machine()}. Each peer ran {runs} times on each document ({runs * 3} "
            f"under 2 MB), every run a fresh process timing {reps} parses ({reps * 3}) and as many "
            f"writes; numbers are medians of CPU time. MB = 10^6 bytes. See README.md for what each "
            f"number means.\n\n"
            f"## Speed (MB/s of the encoded document)\n\n{speed_table(res, sizes, OPS)}\n\n"
            f"## The first parse of a fresh process (MB/s)\n\n{speed_table(res, sizes, FIRST)}\n\n"
            f"## Parse memory (MB of peak RSS above the process with its input read)\n\n"
            f"{memory_table(res, sizes)}\n")
    with open(out_md, "w") as f:
        f.write(text)
    chart(res, sizes, out_svg)
    print(text)


if __name__ == "__main__":
    main()
