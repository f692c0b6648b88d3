#!/usr/bin/env python3
"""Turns the raw runs of scripts/bench into one line per figure and tool.

Input lines: "figure tool seconds hwm_kib stall_ms cpu_s zero_windows"
(stall -1: no UI), or "figure tool ! TEXT" for a run without a time
("failed: ...", "n/a (not built)"). ratio = our median time / the reference
peer's median time (lower is better); the target is the largest ratio
allowed. cpu_s and zero_windows are shown as medians: the client's processor
time, and how often a receiver announced a full buffer (see scripts/bench).
A figure with a failed run misses its target, whatever its median.
"""
import re
import statistics
import sys
from collections import defaultdict

PEERS = {"curl", "lftp", "rclone", "sftp", "ls-l"}
# figure -> tool -> (reference: "best" or a peer name, largest allowed time ratio).
# The wan figures end in _n<N>, the number of connections, which is left
# out here: the targets are the same for every N.
TARGETS = {
    "download_big": {"engine": ("best", 1.0), "gui-downloadOne": ("curl", 1 / 0.9)},
    "upload_big": {"engine": ("best", 1.0), "gui-uploadOne": ("best", 1 / 0.9)},
    "list_10000": {"engine": ("curl", 1.2), "gui-connect+list": ("curl", 1.5), "gui-refresh": ("curl", 1.5)},
    "list_1000000": {"engine": ("curl", None), "gui-connect+list": ("curl", 1.5), "gui-refresh": ("curl", 1.5)},
    "small_download_2000": {"engine": ("lftp", 1.25), "gui-batch": ("lftp", 1.25)},
    "small_upload_tree": {"gui-folder": ("lftp", 1.25), "engine-flat": ("lftp", 1.25)},
    "delete_tree": {"gui-delete": ("lftp", 1.25)},
    "local_list_10000": {"gui-listLocal": ("ls-l", None), "gui-fill-only": ("ls-l", None)},
    # TLS required on control and data (curl in passive mode, lftp and ours active)
    "tls_download_big": {"engine": ("best", 1.0), "gui-downloadOne": ("best", 1.0)},
    "tls_upload_big": {"engine": ("best", 1.0), "gui-uploadOne": ("best", 1.0)},
    "tls_small_download_2000": {"engine": ("lftp", 1.25), "gui-batch": ("lftp", 1.25)},
    "tls_small_upload_tree": {"gui-folder": ("lftp", 1.25)},
    # against the bench's sshd; peers OpenSSH's sftp (batch mode) and rclone,
    # one connection each; the window's figures read n/a until it speaks SFTP
    "sftp_download_big": {"engine": ("best", 1.1), "gui-downloadOne": ("best", 1.1)},
    "sftp_upload_big": {"engine": ("best", 1.1), "gui-uploadOne": ("best", 1.1)},
    "sftp_small_download_2000": {"engine": ("sftp", 1.0), "gui-batch": ("sftp", 1.0)},
    # through the relay at RTT 50 ms; peers lftp and rclone at the same N
    "wan_download_500": {"engine": ("best", 1.0), "gui-batch": ("best", 1.0)},
    "wan_upload_tree": {"gui-folder": ("best", 1.0), "engine-flat": ("best", 1.0)},
    # 64 MiB, the data connection cut at half: time to a complete, identical file
    "fault_download_reset": {"gui-downloadOne": ("lftp", 1.0)},
    "fault_download_close": {"gui-downloadOne": ("lftp", 1.0)},
}
FILE_COUNTS = {"small_": 2000, "delete_tree": 2000, "wan_": 500}
FAULT_MIB = 64
STALL_LIMIT_MS = 100
# figure -> largest peak resident memory allowed for our tools, MiB
PEAK_LIMITS_MIB = {"list_1000000": 400}


def target(figure, tool):
    return TARGETS.get(re.sub(r"_n\d+$", "", figure), {}).get(tool, ("best", None))


def rate_text(figure, med, big_mib, sftp_mib):
    if figure.endswith("_big"):
        return f"{(sftp_mib if figure.startswith('sftp_') else big_mib) / med:.0f} MiB/s"
    if figure.startswith("fault_"):
        return f"{FAULT_MIB / med:.0f} MiB/s"
    for prefix, count in FILE_COUNTS.items():
        if prefix in figure:
            return f"{count / med:.0f} files/s"
    if figure.startswith("list") or figure.startswith("local"):
        return f"{int(figure.rsplit('_', 1)[1]) / med:.0f} rows/s"
    return ""


def main():
    path, big_mib = sys.argv[1], float(sys.argv[2])
    sftp_mib = float(sys.argv[3]) if len(sys.argv) > 3 else big_mib
    runs = defaultdict(list)
    texts = defaultdict(list)  # runs without a time
    order = []
    for line in open(path):
        parts = line.split()
        if len(parts) < 3 or (parts[2] != "!" and len(parts) != 7):
            continue
        figure, tool = parts[0], parts[1]
        if (figure, tool) not in order:
            order.append((figure, tool))
        if parts[2] == "!":
            texts[(figure, tool)].append(line.split(" ! ", 1)[1].strip())
        else:
            runs[(figure, tool)].append(tuple(float(x) for x in parts[2:]))

    def median(figure, tool):
        values = runs.get((figure, tool))
        return statistics.median(v[0] for v in values) if values else None

    print(f"{'figure':<26}{'tool':<18}{'runs':>5}{'median':>11}{'rate':>16}"
          f"{'ratio':>8}{'target':>15}  {'ok':<4}{'peak MiB':>9}{'stall ms':>10}{'cpu s':>8}{'0-win':>7}")
    for figure, tool in order:
        values = runs.get((figure, tool), [])
        notes = texts.get((figure, tool), [])
        failed = [t for t in notes if t.startswith("failed")]
        if not values:
            # no run with a time: say why, once ("n/a (not built)", "failed: ...")
            ok = "NO" if failed and tool not in PEERS else ""
            print(f"{figure:<26}{tool:<18}{len(notes):>5}  {(failed or notes)[0]}  {ok}")
            continue
        med = median(figure, tool)
        rate = rate_text(figure, med, big_mib, sftp_mib)
        ratio_text, target_text, ok = "", "", ""
        if tool not in PEERS:
            reference, limit = target(figure, tool)
            peers = [median(figure, p) for p in PEERS if median(figure, p)]
            ref = min(peers) if reference == "best" and peers else median(figure, reference)
            if figure == "local_list_10000" and tool == "gui-listLocal":
                # target: at most 3x "ls -l" plus the list's own filling time
                ls, fill = median(figure, "ls-l"), median(figure, "gui-fill-only")
                if ls and fill:
                    allowed = 3 * ls + fill
                    ratio_text = f"{med / allowed:.2f}"
                    target_text = "<=1 (3ls+fill)"
                    ok = "yes" if med <= allowed else "NO"
            elif ref:
                ratio = med / ref
                ratio_text = f"{ratio:.2f}"
                if limit:
                    target_text = f"<={limit:.2f}"
                    ok = "yes" if ratio <= limit else "NO"
        hwm = max(v[1] for v in values) / 1024
        peak_limit = PEAK_LIMITS_MIB.get(figure) if tool not in PEERS else None
        if peak_limit and hwm > peak_limit:
            ok = "NO"
        stalls = [v[2] for v in values if v[2] >= 0]
        stall = f"{max(stalls):.0f}" if stalls else "-"
        if stalls and max(stalls) > STALL_LIMIT_MS and figure != "local_list_10000":
            stall += "!"
        cpu = statistics.median(v[3] for v in values)
        windows = statistics.median(v[4] for v in values)
        peak = f"{hwm:.1f}" + ("!" if peak_limit and hwm > peak_limit else "")
        if failed and tool not in PEERS:
            ok = "NO"
        note = f"  ({len(failed)} of {len(values) + len(notes)} runs {failed[0]})" if failed else ""
        print(f"{figure:<26}{tool:<18}{len(values):>5}{med:>10.3f}s{rate:>16}"
              f"{ratio_text:>8}{target_text:>15}  {ok:<4}{peak:>9}{stall:>10}{cpu:>8.2f}{windows:>7.0f}{note}")


if __name__ == "__main__":
    main()
