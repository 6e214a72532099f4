"""`cmake --install` with prefix /usr into a scratch folder lays out the
conventional tree, and desktop-file-validate accepts both desktop entries.

    check_install_tree.py BUILD_DIR HAS_EXECUTABLE(0/1)
"""
import os
import struct
import subprocess
import sys
import tempfile

ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    return struct.unpack(">II", head[16:24])


def main():
    build = sys.argv[1]
    has_executable = sys.argv[2] == "1"
    failures = []
    with tempfile.TemporaryDirectory(prefix="orvella-install-") as root:
        subprocess.run(["cmake", "--install", build, "--prefix", "/usr"], check=True,
                       env=dict(os.environ, DESTDIR=root), stdout=subprocess.DEVNULL)
        expected = ["usr/bin/orvella"] if has_executable else []
        expected += ["usr/share/applications/orvella.desktop",
                    "etc/xdg/autostart/orvella.desktop", "usr/share/icons/hicolor/scalable/apps/orvella.svg",
                    "usr/share/man/man1/orvella.1.gz", "usr/share/doc/orvella/README.md",
                    "usr/share/doc/orvella/copyright", "usr/share/doc/orvella/changelog.Debian.gz"]
        expected += [f"usr/share/icons/hicolor/{n}x{n}/apps/orvella.png" for n in ICON_SIZES]
        for name in expected:
            if not os.path.isfile(os.path.join(root, name)):
                failures.append(f"missing {name}")
        if os.path.isfile(os.path.join(root, "usr/bin/orvella")) and not os.access(os.path.join(root, "usr/bin/orvella"), os.X_OK):
            failures.append("usr/bin/orvella is not executable")
        for n in ICON_SIZES:
            path = os.path.join(root, f"usr/share/icons/hicolor/{n}x{n}/apps/orvella.png")
            if os.path.isfile(path) and png_size(path) != (n, n):
                failures.append(f"{path} is {png_size(path)}, not {n}x{n}")

        autostart = os.path.join(root, "etc/xdg/autostart/orvella.desktop")
        if os.path.isfile(autostart):
            with open(autostart, encoding="utf-8") as f:
                if "Exec=/usr/bin/orvella\n" not in f.read():
                    failures.append("the autostart entry does not start /usr/bin/orvella")
        for entry in ("usr/share/applications/orvella.desktop", "etc/xdg/autostart/orvella.desktop"):
            path = os.path.join(root, entry)
            if not os.path.isfile(path):
                continue
            result = subprocess.run(["desktop-file-validate", path], capture_output=True, text=True)
            if result.returncode != 0 or result.stdout.strip():
                failures.append(f"desktop-file-validate {entry}: {result.stdout.strip()}")
    for failure in failures:
        print(failure)
    print("install tree: " + ("FAILED" if failures else "ok"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
