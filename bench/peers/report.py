#!/usr/bin/env python3
"""Runs every peer on every document and operation, then prints the tables and
writes them (Markdown) with a bar chart (SVG).

    report.py DOCS_DIR REPS OUT.md OUT.svg BIN_DIR

Each peer is a program run as `PEER FILE [write]`, once per measurement, so
every parse is the first of a fresh process. It prints `parse` (CPU seconds),
`mem` (peak bytes of the parse above the process with its input read),
`nodes` (values read) and, with `write`, `write_xml` and `write_bin` (CPU
seconds to write the parsed tree). Each number is the median over the runs.
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
PEERS = ["plistlib", "Rust plist", "Orvex store", "Orvex model"]
OTHERS = PEERS[:2]  # the peers Orvex is compared with
MB = 1e6


def commands(bin_dir):
    here = os.path.dirname(os.path.abspath(__file__))
    orvex = os.path.join(bin_dir, "orvex_peer")
    return {
        "plistlib": [sys.executable, os.path.join(here, "plistlib_peer.py")],
        "Rust plist": [os.path.join(bin_dir, "rust", "release", "plist_peer")],
        "Orvex store": [orvex, "store"],
        "Orvex model": [orvex, "model"],
    }


def run(cmd, *args):
    out = subprocess.run(cmd + list(args), check=True, capture_output=True, text=True)
    return {k: float(v) for k, v in (line.split() for line in out.stdout.splitlines())}


def measure(docs_dir, reps, cmds):
    """times[doc][op label][peer] in seconds, mem[doc][ext][peer] in bytes, sizes[doc][ext]."""
    times, mem, sizes = {}, {}, {}
    for doc in DOCS:
        times[doc] = {op[0]: {} for op in OPS}
        mem[doc], sizes[doc] = {}, {}
        for ext in ("xml", "bin"):
            path = os.path.join(docs_dir, f"{doc}.{ext}")
            sizes[doc][ext] = os.path.getsize(path)
            n = reps * 4 if sizes[doc][ext] < 2 * MB else reps  # small ones are noisier
            print(f"  {doc}.{ext}: {n} runs of each peer", file=sys.stderr, flush=True)
            runs = {peer: [] for peer in cmds}
            for _ in range(n):  # peers take turns, so a busier moment hits them all
                for peer, cmd in cmds.items():
                    runs[peer].append(run(cmd, path, *(["write"] if ext == "bin" else [])))
            nodes = {peer: {r["nodes"] for r in rs} for peer, rs in runs.items()}
            if len(set.union(*nodes.values())) != 1:
                sys.exit(f"peers read {doc}.{ext} differently: {nodes}")
            mem[doc][ext] = {peer: statistics.median(r["mem"] for r in rs) for peer, rs in runs.items()}
            for label, _, run_ext, key in OPS:
                if run_ext == ext:
                    for peer, rs in runs.items():
                        times[doc][label][peer] = statistics.median(r[key] for r in rs)
    return times, mem, sizes


def fmt(x, digits=1):
    return f"{x:,.{digits}f}"


def tables(times, mem, sizes):
    head = ["document", "operation", "MB"] + [f"{p} MB/s" for p in PEERS] + \
           ["store / best peer", "model / best peer", "model cost / store cost"]
    rows = []
    for doc in DOCS:
        for label, ext, _, _ in OPS:
            size = sizes[doc][ext]
            rate = {p: size / MB / max(times[doc][label][p], 1e-9) for p in PEERS}
            best = max(rate[p] for p in OTHERS)
            rows.append([doc, label, fmt(size / MB)] + [fmt(rate[p]) for p in PEERS] +
                        [fmt(rate["Orvex store"] / best, 2), fmt(rate["Orvex model"] / best, 2),
                         fmt(times[doc][label]["Orvex model"] / times[doc][label]["Orvex store"], 2)])
    mhead = ["document", "parsed from", "MB"] + [f"{p} MB" for p in PEERS] + \
            ["store / best peer", "model / best peer", "model / store"]
    mrows = []
    for doc in DOCS:
        for ext in ("xml", "bin"):
            m = {p: mem[doc][ext][p] / MB for p in PEERS}
            best = min(m[p] for p in OTHERS)
            mrows.append([doc, "XML" if ext == "xml" else "binary", fmt(sizes[doc][ext] / MB)] +
                         [fmt(m[p]) for p in PEERS] +
                         [fmt(m["Orvex store"] / best, 2), fmt(m["Orvex model"] / best, 2),
                          fmt(m["Orvex model"] / m["Orvex store"], 2)])
    return markdown(head, rows), markdown(mhead, mrows)


def markdown(head, rows):
    lines = ["| " + " | ".join(head) + " |", "|" + "|".join(["---"] * 2 + ["---:"] * (len(head) - 2)) + "|"]
    return "\n".join(lines + ["| " + " | ".join(r) + " |" for r in rows])


def chart(times, mem, sizes, path):
    import matplotlib
    matplotlib.use("Agg")
    matplotlib.rcParams["svg.hashsalt"] = "orvex-peers"  # stable ids from run to run
    import matplotlib.pyplot as plt

    fig, (top, bottom) = plt.subplots(2, 1, figsize=(18, 10), gridspec_kw={"height_ratios": [3, 2]})
    width = 0.2
    groups = [(doc, label, ext) for doc in DOCS for label, ext, _, _ in OPS]
    for k, peer in enumerate(PEERS):
        xs = [i + (k - 1.5) * width for i in range(len(groups))]
        top.bar(xs, [sizes[d][e] / MB / times[d][l][peer] for d, l, e in groups], width, label=peer)
    top.set_xticks(range(len(groups)), [f"{d}\n{l}" for d, l, _ in groups], fontsize=7)
    top.set_yscale("log")
    top.set_ylabel("MB/s (CPU time, log scale; higher is faster)")
    top.set_title("Throughput: size of the encoded document / median CPU time")
    top.legend(ncol=4)
    top.grid(axis="y", which="both", alpha=0.3)
    mgroups = [(doc, ext) for doc in DOCS for ext in ("xml", "bin")]
    for k, peer in enumerate(PEERS):
        xs = [i + (k - 1.5) * width for i in range(len(mgroups))]
        bottom.bar(xs, [mem[d][e][peer] / MB for d, e in mgroups], width, label=peer)
    bottom.set_xticks(range(len(mgroups)), [f"{d}\n{'XML' if e == 'xml' else 'binary'}"
                                            for d, e in mgroups], fontsize=7)
    bottom.set_yscale("log")
    bottom.set_ylabel("MB above the input (log scale; lower is better)")
    bottom.set_title("Parse memory: peak RSS of the parse minus the process with its input read")
    bottom.grid(axis="y", which="both", alpha=0.3)
    for ax, per_doc in ((top, len(OPS)), (bottom, 2)):
        for k in range(1, len(DOCS)):
            ax.axvline(k * per_doc - 0.5, color="grey", linewidth=0.8)
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
    docs_dir, reps, out_md, out_svg, bin_dir = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
    times, mem, sizes = measure(docs_dir, reps, commands(bin_dir))
    speed, memory = tables(times, mem, sizes)
    when = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    text = (f"# Orvex beside its peers\n\n"
            f"Run {when} on {machine()}; median of {reps} runs "
            f"({reps * 4} for documents under 2 MB), each a fresh process. MB = 10^6 bytes. "
            f"See README.md for what each number means.\n\n"
            f"## Speed (MB/s of the encoded document, CPU time)\n\n{speed}\n\n"
            f"## Parse memory (MB of peak RSS above the process with its input read)\n\n{memory}\n")
    with open(out_md, "w") as f:
        f.write(text)
    chart(times, mem, sizes, out_svg)
    print(text)


if __name__ == "__main__":
    main()
