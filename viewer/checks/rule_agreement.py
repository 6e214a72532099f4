#!/usr/bin/python3
"""The page's rules against the program's: the same log files replayed by
the engine's own monitors and masking (orvella_log_replay) and by the page's
code (tools/notified.mjs) must give the same notified seconds.

    rule_agreement.py REPLAY NODE STAGE LOG_GENERATOR
    rule_agreement.py REPLAY NODE STAGE LOG_GENERATOR ARCHIVE

Logs of the generator as they are; the same logs roughened where the rules
have their edges (bursts of failures and slow replies, a load above its
bound, a pause in sampling, a gateway at a new address, a new start); and,
when given, an archive the real program made in an end-to-end journey."""
import os
import random
import subprocess
import sys
import tempfile
import zipfile


def notified(command):
    run = subprocess.run(command, capture_output=True, text=True, timeout=600)
    if run.returncode != 0:
        sys.exit(f"{command[0]} failed ({run.returncode}): {run.stderr.strip()}")
    return sorted(run.stdout.splitlines())


def compare(what, replay, node, stage, folder):
    engine = notified([replay, folder])
    page = notified([node, os.path.join(stage, "tools", "notified.mjs"), folder])
    if engine != page:
        only_engine = sorted(set(engine) - set(page))[:10]
        only_page = sorted(set(page) - set(engine))[:10]
        print(f"FAIL {what}: the engine notified {len(engine)} samples, the page {len(page)}")
        print(f"  only the engine: {only_engine}\n  only the page: {only_page}")
        return False
    monitors = sorted({line.split()[-1] for line in engine})
    print(f"ok {what}: {len(engine)} notified samples agree ({', '.join(monitors) or 'none'})")
    return True


def roughen(folder):
    """Rewrites the generated logs with the cases the rules turn on."""
    rng = random.Random(22)
    files = sorted(os.listdir(folder))
    for name in files:
        monitor = name.split("_")[1].split(".")[0]
        path = os.path.join(folder, name)
        with open(path, "rb") as f:
            lines = f.read().split(b"\r\n")
        last_day = name == files[-1] or name.startswith(files[-1][:10])
        out = []
        for i, line in enumerate(lines):
            if not line:
                continue
            hour = i // 3600
            stamp, value = line[:22], line[22:]
            # A pause of 90 s in every monitor: a new connection.
            if 2 * 3600 <= i < 2 * 3600 + 90:
                continue
            if monitor in ("gateway", "google", "rdp"):
                head, _, tail = value.partition(b". ")
                if hour == 1 and rng.random() < 0.06:
                    value = head + b". Time is out"
                elif hour in (3, 4) and rng.random() < 0.12:
                    value = head + b". " + tail.replace(b"RTT=", b"RTT=3").replace(b"TTL", b"TTL")
                elif hour == 5 and monitor == "gateway" and i % 600 >= 300:
                    # Every five minutes the gateway answers at another address.
                    value = value.replace(b"192.168.1.1", b"192.168.1.254")
                    if rng.random() < 0.04:
                        value = value.split(b". ")[0] + b". Time is out"
                elif hour == 6 and monitor == "rdp" and rng.random() < 0.05:
                    value = head + b". Error 11010: Request timed out."
            elif hour == 7 and monitor in ("cpu", "ram", "disk") and rng.random() < 0.55:
                value = {"cpu": b"99.5", "ram": b"99,7", "disk": b"2"}[monitor]
            elif i == 8 * 3600 and monitor in ("cpu", "disk"):
                value = b""  # a new start: no first value of the rate counters
            out.append(stamp + value)
        if last_day:
            out.append(b"garbage that is no sample")
        with open(path, "wb") as f:
            f.write(b"\r\n".join(out) + b"\r\n")


def main():
    replay, node, stage, generator = sys.argv[1:5]
    archive = sys.argv[5] if len(sys.argv) > 5 else None
    good = True
    with tempfile.TemporaryDirectory(prefix="orvella-rules-") as scratch:
        if not archive:
            generated = os.path.join(scratch, "generated")
            subprocess.run([generator, generated, "2"], check=True, capture_output=True)
            good &= compare("two days from the log generator", replay, node, stage, generated)
            roughen(generated)
            good &= compare("the same days roughened", replay, node, stage, generated)
        else:
            if not os.path.exists(archive):
                print(f"skipped: the journey's archive {archive} is missing (Journey.ReportFromNotice did not run)")
                return 77
            recorded = os.path.join(scratch, "journey")
            with zipfile.ZipFile(archive) as z:
                z.extractall(recorded)
            good &= compare(f"the journey's archive {os.path.basename(archive)}", replay, node, stage, recorded)
    return 0 if good else 1


if __name__ == "__main__":
    sys.exit(main())
