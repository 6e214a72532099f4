#!/usr/bin/python3
"""The deb-src entry that scripts/install-deps writes comes from the machine's
own apt sources: deb822 .sources files and one-line sources.list entries of a
mirror give that mirror's URIs, components and key, and no file of the
repository names a package server of its own."""
import os
import subprocess
import sys
import tempfile

ROOT = sys.argv[1]
KEYRING = "/usr/share/keyrings/debian-archive-keyring.gpg"

DEB822 = f"""# a mirror for this site
Types: deb
URIs: http://mirror.site.example/debian
  http://backup.site.example/debian
Suites: bookworm bookworm-updates
Components: main contrib
Signed-By: {KEYRING}

Types: deb
URIs: http://mirror.site.example/debian-security
Suites: bookworm-security
Components: main
Signed-By: {KEYRING}

Types: deb
Enabled: no
URIs: http://off.site.example/debian
Suites: bookworm
Components: main

Types: deb
URIs: http://vendor.example/apt
Suites: bookworm
Components: stable
Signed-By: /etc/apt/keyrings/vendor.gpg
"""
LIST = f"""# deb http://commented.example/debian bookworm main
deb [arch=amd64 signed-by={KEYRING}] http://proxy.site.example:3142/debian bookworm main non-free-firmware # cached
deb http://plain.site.example/debian bookworm main
deb http://plain.site.example/debian bookworm-updates main
deb-src http://ignored.example/debian bookworm main
"""
EXPECTED = f"""Types: deb-src
URIs: http://mirror.site.example/debian http://backup.site.example/debian
Suites: bookworm
Components: main contrib
Signed-By: {KEYRING}

Types: deb-src
URIs: http://proxy.site.example:3142/debian
Suites: bookworm
Components: main non-free-firmware
Signed-By: {KEYRING}

Types: deb-src
URIs: http://plain.site.example/debian
Suites: bookworm
Components: main
"""
# Servers of the Debian archive that a file of ours might spell out.
SERVERS = ("deb.debian.org", "ftp.debian.org", "security.debian.org", "httpredir.debian.org", "cdn-fastly.deb",
           "snapshot.debian.org", "archive.debian.org")

failures = []
with tempfile.TemporaryDirectory() as folder:
    paths = []
    for name, text in (("site.sources", DEB822), ("sources.list", LIST), ("missing.list", None)):
        path = os.path.join(folder, name)
        if text is not None:
            with open(path, "w") as file:
                file.write(text)
        paths.append(path)
    result = subprocess.run([os.path.join(ROOT, "scripts", "deb-src-entries"), "bookworm", *paths],
                            capture_output=True, text=True)
    if result.returncode != 0 or result.stdout != EXPECTED:
        failures.append(f"deb-src entries (exit {result.returncode}, {result.stderr.strip()!r}):\n"
                        f"{result.stdout}\nexpected:\n{EXPECTED}")
    empty = subprocess.run([os.path.join(ROOT, "scripts", "deb-src-entries"), "trixie", *paths],
                           capture_output=True, text=True)
    if empty.returncode != 0 or empty.stdout:
        failures.append(f"entries for a release with no source: {empty.stdout!r} (exit {empty.returncode})")

tracked = subprocess.run(["git", "-C", ROOT, "ls-files", "-z"], capture_output=True, check=True).stdout
for relative in tracked.decode().split("\0"):
    path = os.path.join(ROOT, relative)
    if not relative or not os.path.isfile(path) or relative.startswith("tests/unit/scripts/"):
        continue
    with open(path, "rb") as file:
        text = file.read().decode("utf-8", "replace")
    for server in SERVERS:
        if server in text:
            failures.append(f"{relative} names the package server {server}")

for failure in failures:
    print(f"FAILED: {failure}")
sys.exit(1 if failures else 0)
